#include "ui/history/compare_window.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "files/param_file.h"
#include "history/difference.h"
#include "lang/history_texts.h"
#include "ui/history/edit_menu.h"
#include "ui/history/snapshots_window.h"
#include "ui/main_window/form_hlav.h"

namespace velmora::ui {

using lang::HistoryText;

CompareWindow::CompareWindow(TFormHlav& form, EditMenu& edit)
    : QDialog(&form), form_(form), edit_(edit) {
    setObjectName("CompareWindow");
    setFont(form.font());
    sourceLabel_ = new QLabel(this);
    sourceLabel_->setObjectName("CompareSource");
    sourceLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    table_ = new QTableWidget(0, 5, this);
    table_->setObjectName("DifferenceTable");
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    file_ = new QPushButton(this);
    file_->setObjectName("CompareFile");
    snapshot_ = new QPushButton(this);
    snapshot_->setObjectName("CompareSnapshot");
    unit_ = new QPushButton(this);
    unit_->setObjectName("CompareUnit");
    copy_ = new QPushButton(this);
    copy_->setObjectName("CompareCopy");
    close_ = new QPushButton(this);
    close_->setObjectName("CompareClose");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {file_, snapshot_, unit_}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(copy_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sourceLabel_);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    connect(file_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QString(), QString::fromStdString(form_.lastFilePath()),
            "Ignition Parametrs(*.ign);;All Files (*)");
        if (!path.isEmpty()) compareWithFile(path);
    });
    connect(snapshot_, &QPushButton::clicked, this, [this] {
        SnapshotsWindow* w = edit_.snapshotsWindow();
        w->reload();
        w->show();
        w->raise();
    });
    connect(unit_, &QPushButton::clicked, this, &CompareWindow::compareWithUnit);
    connect(copy_, &QPushButton::clicked, this, &CompareWindow::copy);
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
    resize(640, 380);
    retranslate();
}

void CompareWindow::retranslate() {
    const auto t = [this](HistoryText h) {
        return QString::fromUtf8(lang::historyText(h, form_.Language));
    };
    setWindowTitle(t(HistoryText::CompareTitle));
    table_->setHorizontalHeaderLabels({t(HistoryText::ColumnPage), t(HistoryText::ColumnGroup),
                                       t(HistoryText::ColumnName), t(HistoryText::ColumnScreen),
                                       t(HistoryText::ColumnOther)});
    file_->setText(t(HistoryText::CompareFile));
    snapshot_->setText(t(HistoryText::CompareSnapshot));
    unit_->setText(t(HistoryText::CompareUnit));
    copy_->setText(t(HistoryText::CopyButton));
    close_->setText(t(HistoryText::CloseButton));
    render();
}

void CompareWindow::compareWith(const Calibration& other, const QString& source) {
    other_ = other;
    source_ = source;
    render();
}

void CompareWindow::compareWithUnit() {
    if (!edit_.unitAfterVerify()) return;
    compareWith(*edit_.unitAfterVerify(),
                QString::fromUtf8(lang::historyText(HistoryText::ColumnUnit, form_.Language)));
}

bool CompareWindow::compareWithFile(const QString& path) {
    Calibration other = edit_.screenCalibration();
    if (!QFileInfo(path).isFile() || !openParamFile(QFile::encodeName(path).toStdString(), other)) {
        source_ = "Open file error: " + path;
        other_.reset();
        render();
        return false;
    }
    compareWith(other, path);
    return true;
}

void CompareWindow::compareWithLastFile() {
    const QString last = QString::fromStdString(form_.lastFilePath());
    if (!last.isEmpty()) {
        compareWithFile(last);
    } else {
        other_.reset();
        source_.clear();
        render();
    }
}

void CompareWindow::render() {
    unit_->setEnabled(edit_.unitAfterVerify().has_value());
    table_->setRowCount(0);
    if (!other_) {
        sourceLabel_->setText(source_);
        return;
    }
    const std::vector<DifferenceRow> rows =
        differences(edit_.screenCalibration(), *other_, form_.Language);
    QString head = source_;
    if (rows.empty())
        head +=
            " — " + QString::fromUtf8(lang::historyText(HistoryText::NoDifference, form_.Language));
    sourceLabel_->setText(head);
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const DifferenceRow& d = rows[static_cast<std::size_t>(r)];
        const std::string* fields[5] = {&d.page, &d.group, &d.label, &d.screen, &d.other};
        for (int c = 0; c < 5; ++c)
            table_->setItem(r, c, new QTableWidgetItem(QString::fromStdString(*fields[c])));
    }
    table_->resizeColumnsToContents();
}

int CompareWindow::rowCount() const {
    return table_->rowCount();
}

QString CompareWindow::cell(int row, int column) const {
    const QTableWidgetItem* item = table_->item(row, column);
    return item != nullptr ? item->text() : QString();
}

QString CompareWindow::reportText() const {
    if (!other_) return {};
    return QString::fromStdString(differencesAsText(
        differences(edit_.screenCalibration(), *other_, form_.Language), form_.Language));
}

void CompareWindow::copy() {
    QApplication::clipboard()->setText(reportText());
}

} // namespace velmora::ui
