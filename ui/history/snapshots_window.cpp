#include "ui/history/snapshots_window.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "history/difference.h"
#include "lang/history_texts.h"
#include "ui/history/compare_window.h"
#include "ui/history/edit_menu.h"
#include "ui/main_window/form_hlav.h"

namespace velmora::ui {

namespace {

using lang::HistoryText;

HistoryText kindText(SnapshotKind k) {
    switch (k) {
    case SnapshotKind::Read:
        return HistoryText::KindRead;
    case SnapshotKind::Program:
        return HistoryText::KindProgram;
    case SnapshotKind::BeforeNew:
        return HistoryText::KindBeforeNew;
    case SnapshotKind::BeforeOpen:
        return HistoryText::KindBeforeOpen;
    case SnapshotKind::BeforeRead:
        return HistoryText::KindBeforeRead;
    case SnapshotKind::BeforeModel:
        return HistoryText::KindBeforeModel;
    case SnapshotKind::OtherCopy:
        return HistoryText::KindOtherCopy;
    }
    return HistoryText::KindRead;
}

} // namespace

SnapshotsWindow::SnapshotsWindow(TFormHlav& form, EditMenu& edit)
    : QDialog(&form), form_(form), edit_(edit) {
    setObjectName("SnapshotsWindow");
    setFont(form.font());
    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName("SnapshotTable");
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    message_ = new QLabel(this);
    message_->setObjectName("SnapshotMessage");
    open_ = new QPushButton(this);
    open_->setObjectName("SnapshotOpen");
    compare_ = new QPushButton(this);
    compare_->setObjectName("SnapshotCompare");
    close_ = new QPushButton(this);
    close_->setObjectName("SnapshotClose");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(message_, 1);
    buttons->addWidget(open_);
    buttons->addWidget(compare_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    connect(open_, &QPushButton::clicked, this, &SnapshotsWindow::openSelected);
    connect(compare_, &QPushButton::clicked, this, &SnapshotsWindow::compareSelected);
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { openSelected(); });
    resize(520, 360);
    retranslate();
}

void SnapshotsWindow::retranslate() {
    const auto t = [this](HistoryText h) {
        return QString::fromUtf8(lang::historyText(h, form_.Language));
    };
    setWindowTitle(t(HistoryText::SnapshotsTitle));
    table_->setHorizontalHeaderLabels({t(HistoryText::ColumnTime), t(HistoryText::ColumnKind),
                                       t(HistoryText::ColumnUnit), t(HistoryText::ColumnDiffers)});
    open_->setText(t(HistoryText::OpenButton));
    compare_->setText(t(HistoryText::CompareButton));
    close_->setText(t(HistoryText::CloseButton));
    if (!entries_.empty()) reload();
}

void SnapshotsWindow::reload() {
    entries_ = edit_.keeper().snapshots().list();
    held_.clear();
    for (const SnapshotEntry& e : entries_) {
        const auto loaded = SnapshotStore::load(e, form_.calibration());
        held_.push_back(loaded ? std::optional<Calibration>(loaded->cal) : std::nullopt);
    }
    table_->setRowCount(static_cast<int>(entries_.size()));
    for (int row = 0; row < static_cast<int>(entries_.size()); ++row) {
        const SnapshotEntry& e = entries_[static_cast<std::size_t>(row)];
        const QString time =
            QDateTime::fromSecsSinceEpoch(e.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        table_->setItem(row, 0, new QTableWidgetItem(time));
        table_->setItem(row, 1,
                        new QTableWidgetItem(QString::fromUtf8(
                            lang::historyText(kindText(e.kind), form_.Language))));
        table_->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(e.unit)));
        table_->setItem(row, 3, new QTableWidgetItem);
    }
    updateDifferences();
    table_->resizeColumnsToContents();
    if (!entries_.empty() && table_->currentRow() < 0) select(0);
}

void SnapshotsWindow::updateDifferences() {
    const Calibration screen = edit_.screenCalibration();
    for (int row = 0; row < static_cast<int>(held_.size()); ++row) {
        const std::optional<Calibration>& held = held_[static_cast<std::size_t>(row)];
        if (QTableWidgetItem* item = table_->item(row, 3))
            item->setText(held ? QString::number(countDifferences(screen, *held))
                               : QStringLiteral("—"));
    }
}

void SnapshotsWindow::select(int row) {
    table_->setCurrentCell(row, 0);
    table_->selectRow(row);
}

int SnapshotsWindow::rowCount() const {
    return table_->rowCount();
}

QString SnapshotsWindow::message() const {
    return message_->text();
}

const SnapshotEntry* SnapshotsWindow::selected() const {
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(entries_.size())) return nullptr;
    return &entries_[static_cast<std::size_t>(row)];
}

void SnapshotsWindow::gone(const SnapshotEntry& e) {
    const QString text =
        QString::fromUtf8(lang::historyText(HistoryText::SnapshotGone, form_.Language))
            .arg(QString::fromStdString(e.ignPath()));
    message_->setText(text);
    form_.showStatusHint(text);
}

std::optional<SnapshotStore::Loaded> SnapshotsWindow::loadSelected() {
    const SnapshotEntry* e = selected();
    if (e == nullptr) return {};
    auto loaded = SnapshotStore::load(*e, edit_.screenCalibration());
    if (!loaded)
        gone(*e);
    else
        message_->clear();
    return loaded;
}

bool SnapshotsWindow::openSelected() {
    const SnapshotEntry* e = selected();
    const auto loaded = loadSelected();
    if (!loaded) return false;
    StepName name;
    name.command = HistoryText::StepSnapshot;
    name.extra = e->stamp;
    edit_.applyAsStep(name, loaded->cal, loaded->image ? &*loaded->image : nullptr);
    emit edit_.snapshotSideRestored(QString::fromStdString(loaded->side.value_or(std::string())));
    updateDifferences();
    return true;
}

bool SnapshotsWindow::compareSelected() {
    const SnapshotEntry* e = selected();
    const auto loaded = loadSelected();
    if (!loaded) return false;
    CompareWindow* w = edit_.compareWindow();
    w->compareWith(loaded->cal, QString::fromStdString(e->ignPath()));
    w->show();
    w->raise();
    return true;
}

} // namespace velmora::ui
