#include "ui/log/computed_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "lang/log_texts.h"
#include "ui/log/log_viewer.h"

namespace velmora::ui {

using lang::LogText;

ComputedDialog::ComputedDialog(LogViewer& viewer, std::uint8_t language)
    : QDialog(&viewer), viewer_(viewer), language_(language) {
    setObjectName("ComputedDialog");
    setWindowTitle(text(static_cast<int>(LogText::ComputedChannels)).remove(u'…'));
    list_ = new QListWidget(this);
    list_->setObjectName("ComputedList");
    connect(list_, &QListWidget::currentRowChanged, this, &ComputedDialog::choose);
    name_ = new QLineEdit(this);
    name_->setObjectName("ComputedName");
    expression_ = new QLineEdit(this);
    expression_->setObjectName("ComputedExpression");
    // Longer text than the language takes reaches it, so that it says so.
    expression_->setMaxLength(static_cast<int>(4 * log::MaxExpressionLength));
    units_ = new QLineEdit(this);
    units_->setObjectName("ComputedUnits");
    digits_ = new QSpinBox(this);
    digits_->setObjectName("ComputedDigits");
    digits_->setRange(0, 6);
    digits_->setValue(2);
    auto* form = new QFormLayout;
    form->addRow(text(static_cast<int>(LogText::ComputedName)), name_);
    form->addRow(text(static_cast<int>(LogText::ComputedExpression)), expression_);
    form->addRow(text(static_cast<int>(LogText::ComputedUnits)), units_);
    form->addRow(text(static_cast<int>(LogText::ComputedDigits)), digits_);
    message_ = new QLabel(this);
    message_->setObjectName("ComputedMessage");
    message_->setWordWrap(true);
    message_->setStyleSheet("color: #b00000");
    auto* buttons = new QHBoxLayout;
    const auto button = [&](LogText id, const char* name, auto slot) {
        auto* b = new QPushButton(text(static_cast<int>(id)), this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button(LogText::ComputedAdd, "ComputedAdd", [this] { addChannel(); });
    button(LogText::ComputedChange, "ComputedChange", [this] { changeChannel(); });
    button(LogText::ComputedRemove, "ComputedRemove", [this] { removeChannel(); });
    buttons->addStretch(1);
    button(LogText::ComputedClose, "ComputedClose", [this] { close(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(form);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    resize(560, 400);
    refresh();
}

QString ComputedDialog::text(int id) const {
    return QString::fromUtf8(lang::logText(static_cast<LogText>(id), language_));
}

QString ComputedDialog::message() const {
    return message_->text();
}

void ComputedDialog::refresh() {
    const auto& defs = viewer_.computedChannels();
    const auto& outcomes = viewer_.computedOutcomes();
    const int row = list_->currentRow();
    list_->blockSignals(true);
    list_->clear();
    for (std::size_t i = 0; i < defs.size(); ++i) {
        QString line = QString::fromStdString(defs[i].name + " = " + defs[i].text);
        if (line.size() > 200) line = line.left(200) + u'…';
        auto* item = new QListWidgetItem(line, list_);
        if (i < outcomes.size() && !outcomes[i].ok()) {
            const QString why = QString::fromStdString(
                log::computedOutcomeText(outcomes[i], defs[i].name, language_));
            item->setText(line + "  — " + why);
            item->setToolTip(why);
            item->setForeground(QColor(176, 0, 0));
        }
    }
    list_->setCurrentRow(std::min(row, list_->count() - 1));
    list_->blockSignals(false);
}

void ComputedDialog::choose(int row) {
    const auto& defs = viewer_.computedChannels();
    if (row < 0 || row >= static_cast<int>(defs.size())) return;
    const log::ComputedDefinition& d = defs[static_cast<std::size_t>(row)];
    name_->setText(QString::fromStdString(d.name));
    expression_->setText(QString::fromStdString(d.text));
    units_->setText(QString::fromStdString(d.units));
    digits_->setValue(d.digits);
    message_->clear();
}

log::ComputedDefinition ComputedDialog::edited() const {
    return {name_->text().trimmed().toStdString(), expression_->text().toStdString(),
            units_->text().trimmed().toStdString(), digits_->value()};
}

bool ComputedDialog::apply(std::vector<log::ComputedDefinition> defs, std::size_t edited) {
    const std::vector<log::ComputedOutcome> check = viewer_.checkComputedChannels(defs);
    if (edited < check.size() && !check[edited].ok()) {
        message_->setText(QString::fromStdString(
            log::computedOutcomeText(check[edited], defs[edited].name, language_)));
        return false;
    }
    if (!viewer_.setComputedChannels(std::move(defs))) {
        message_->setText(text(static_cast<int>(LogText::ComputedTooLarge)));
        return false;
    }
    message_->clear();
    refresh();
    list_->setCurrentRow(static_cast<int>(edited));
    return true;
}

bool ComputedDialog::addChannel() {
    std::vector<log::ComputedDefinition> defs = viewer_.computedChannels();
    defs.push_back(edited());
    const std::size_t added = defs.size() - 1;
    return apply(std::move(defs), added);
}

bool ComputedDialog::changeChannel() {
    std::vector<log::ComputedDefinition> defs = viewer_.computedChannels();
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(defs.size())) return addChannel();
    defs[static_cast<std::size_t>(row)] = edited();
    return apply(std::move(defs), static_cast<std::size_t>(row));
}

void ComputedDialog::removeChannel() {
    std::vector<log::ComputedDefinition> defs = viewer_.computedChannels();
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(defs.size())) return;
    defs.erase(defs.begin() + row);
    viewer_.setComputedChannels(std::move(defs));
    message_->clear();
    refresh();
}

} // namespace velmora::ui
