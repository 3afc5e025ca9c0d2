#include "ui/ports/port_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "lang/port_texts.h"

namespace velmora::ui {

namespace {

using lang::PortText;

bool sameDevices(const std::vector<SerialDevice>& a, const std::vector<SerialDevice>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].path != b[i].path || a[i].byId != b[i].byId ||
            a[i].serialNumber != b[i].serialNumber)
            return false;
    return true;
}

QTableWidget* table(const QString& name, const QStringList& headers, QWidget* parent) {
    auto* t = new QTableWidget(0, headers.size(), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c) t->setItem(row, c, new QTableWidgetItem(cells[c]));
}

} // namespace

QString portQText(lang::PortText t, std::uint8_t language, const std::vector<std::string>& args) {
    return QString::fromStdString(lang::portText(t, language, args));
}

PortDialog::PortDialog(DeviceSource& source, const PortMap& map, int slot, std::uint8_t language,
                       QWidget* parent)
    : QDialog(parent), source_(source), map_(map), language_(language) {
    const auto tr = [language](PortText t) { return portQText(t, language); };
    setObjectName("PortDialog");
    setWindowTitle(tr(PortText::DialogTitle));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(tr(PortText::SlotsHeading), this));
    slots_ = table(
        "PortSlots",
        {tr(PortText::SlotColumn), tr(PortText::DeviceColumn), tr(PortText::StateColumn)}, this);
    // All six slots at once, the device column taking the width.
    slots_->horizontalHeader()->setStretchLastSection(false);
    slots_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    slots_->setFixedHeight(slots_->horizontalHeader()->sizeHint().height() +
                           6 * slots_->verticalHeader()->defaultSectionSize() + 4);
    layout->addWidget(slots_);

    auto* devicesRow = new QHBoxLayout;
    devicesRow->addWidget(new QLabel(tr(PortText::DevicesHeading), this), 1);
    auto* refreshButton = new QPushButton(tr(PortText::Refresh), this);
    refreshButton->setObjectName("PortRefresh");
    refreshButton->setAutoDefault(false);
    devicesRow->addWidget(refreshButton);
    layout->addLayout(devicesRow);
    deviceTable_ = table("PortDevices",
                         {tr(PortText::DeviceColumn), tr(PortText::DescriptionColumn),
                          tr(PortText::ManufacturerColumn), tr(PortText::SerialColumn),
                          tr(PortText::UsbIdColumn), tr(PortText::ByIdColumn)},
                         this);
    layout->addWidget(deviceTable_);

    auto* choice = new QHBoxLayout;
    choice->addWidget(new QLabel(tr(PortText::ChosenSlot), this));
    slot_ = new QComboBox(this);
    slot_->setObjectName("PortSlot");
    for (int i = 1; i <= 6; ++i) slot_->addItem(QString("COM%1").arg(i));
    choice->addWidget(slot_);
    choice->addWidget(new QLabel(tr(PortText::PathLabel), this));
    path_ = new QLineEdit(this);
    path_->setObjectName("PortPath");
    path_->setMaxLength(static_cast<int>(MaxDevicePathLength) + 1);
    choice->addWidget(path_, 1);
    layout->addLayout(choice);

    problem_ = new QLabel(this);
    problem_->setObjectName("PortProblem");
    problem_->setWordWrap(true);
    QPalette pal = problem_->palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    problem_->setPalette(pal);
    problem_->hide();
    layout->addWidget(problem_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->setObjectName("PortButtons");
    QPushButton* ok = buttons->addButton(tr(PortText::Ok), QDialogButtonBox::AcceptRole);
    ok->setObjectName("PortOk");
    QPushButton* cancel = buttons->addButton(tr(PortText::Cancel), QDialogButtonBox::RejectRole);
    cancel->setObjectName("PortCancel");
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &PortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PortDialog::reject);
    connect(refreshButton, &QPushButton::clicked, this, [this] {
        devices_.clear();
        refresh();
    });
    connect(slots_, &QTableWidget::cellClicked, this,
            [this](int row, int) { slot_->setCurrentIndex(row); });
    connect(deviceTable_, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (row >= 0 && row < static_cast<int>(devices_.size()))
            path_->setText(
                QString::fromStdString(preferredPath(devices_[static_cast<std::size_t>(row)])));
    });
    connect(deviceTable_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { accept(); });
    connect(path_, &QLineEdit::textEdited, this, [this] { showProblem({}); });

    const int index = slot >= 1 && slot <= 6 ? slot - 1 : 0;
    slot_->setCurrentIndex(index);
    path_->setText(QString::fromStdString(map_[static_cast<std::size_t>(index)]));
    path_->setFocus();
    path_->selectAll();
    fillSlots();
    devices_ = source_.devices();
    fillDevices();
    resize(760, 480);

    timer_ = new QTimer(this);
    timer_->setInterval(AutoRefreshMs);
    connect(timer_, &QTimer::timeout, this, &PortDialog::refresh);
    timer_->start();
}

int PortDialog::chosenSlot() const {
    return slot_->currentIndex() + 1;
}

QString PortDialog::chosenPath() const {
    return path_->text();
}

void PortDialog::setChosen(int slot, const QString& path) {
    if (slot >= 1 && slot <= 6) slot_->setCurrentIndex(slot - 1);
    path_->setText(path);
    showProblem({});
}

QString PortDialog::problem() const {
    return problem_->text();
}

void PortDialog::refresh() {
    std::vector<SerialDevice> now = source_.devices();
    if (!devices_.empty() && sameDevices(now, devices_)) return;
    devices_ = std::move(now);
    fillDevices();
    fillSlots(); // a device that came or went changes whether a slot's device is present
}

void PortDialog::fillSlots() {
    const auto rows = slotTable(map_, pathExists);
    slots_->setRowCount(static_cast<int>(rows.size()));
    for (const SlotRow& r : rows) {
        const QString state =
            portQText(r.present ? PortText::Present : PortText::Missing, language_);
        setRow(slots_, r.slot - 1,
               {QString("COM%1").arg(r.slot), QString::fromStdString(r.device), state});
        if (!r.present) slots_->item(r.slot - 1, 2)->setForeground(Qt::red);
    }
    slots_->resizeColumnsToContents();
}

void PortDialog::fillDevices() {
    const int current = deviceTable_->currentRow();
    const QString kept = current >= 0 && deviceTable_->item(current, 0) != nullptr
                             ? deviceTable_->item(current, 0)->text()
                             : QString();
    if (devices_.empty()) {
        deviceTable_->setRowCount(1);
        setRow(deviceTable_, 0, {portQText(PortText::NoDevices, language_)});
        return;
    }
    deviceTable_->setRowCount(static_cast<int>(devices_.size()));
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const SerialDevice& d = devices_[i];
        const int row = static_cast<int>(i);
        setRow(deviceTable_, row,
               {QString::fromStdString(d.path), QString::fromStdString(d.description),
                QString::fromStdString(d.manufacturer), QString::fromStdString(d.serialNumber),
                QString::fromStdString(d.usbId()), QString::fromStdString(d.byId)});
        if (QString::fromStdString(d.path) == kept) deviceTable_->selectRow(row);
    }
    deviceTable_->resizeColumnsToContents();
}

void PortDialog::showProblem(const QString& text) {
    problem_->setText(text);
    problem_->setVisible(!text.isEmpty());
}

void PortDialog::accept() {
    const QString why = commit ? commit(chosenSlot(), chosenPath()) : QString();
    if (!why.isEmpty()) {
        showProblem(why);
        return;
    }
    QDialog::accept();
}

} // namespace velmora::ui
