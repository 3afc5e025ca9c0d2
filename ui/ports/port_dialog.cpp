#include "ui/ports/port_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "lang/port_texts.h"
#include "link/wideband.h"

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

QString pathProblemText(PathProblem p, const QString& path, std::uint8_t language) {
    PortText t = PortText::PathNotSerial;
    switch (p) {
    case PathProblem::Empty:
        t = PortText::PathEmpty;
        break;
    case PathProblem::TooLong:
        t = PortText::PathTooLong;
        break;
    case PathProblem::ControlCharacter:
        t = PortText::PathControlCharacter;
        break;
    case PathProblem::NotAbsolute:
        t = PortText::PathNotAbsolute;
        break;
    case PathProblem::Missing:
        t = PortText::PathMissing;
        break;
    case PathProblem::Directory:
        t = PortText::PathDirectory;
        break;
    case PathProblem::RegularFile:
        t = PortText::PathRegularFile;
        break;
    case PathProblem::NotSerial:
    case PathProblem::Ok:
        break;
    }
    const QString shown = path.size() > 80 ? path.left(77) + "..." : path;
    return portQText(t, language, {shown.toStdString()});
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

void PortDialog::addWideband(const WidebandSettings& current) {
    if (wideband_ != nullptr) return;
    const auto tr = [this](PortText t) { return portQText(t, language_); };
    auto* box = new QGroupBox(tr(PortText::WidebandHeading), this);
    box->setObjectName("WidebandBox");
    wideband_ = box;
    auto* form = new QFormLayout(box);

    auto* pathRow = new QHBoxLayout;
    widebandPath_ = new QLineEdit(QString::fromStdString(current.device), box);
    widebandPath_->setObjectName("WidebandPath");
    widebandPath_->setPlaceholderText(tr(PortText::WidebandNone));
    widebandPath_->setMaxLength(static_cast<int>(MaxDevicePathLength) + 1);
    pathRow->addWidget(widebandPath_, 1);
    auto* fromList = new QPushButton(tr(PortText::WidebandFromList), box);
    fromList->setObjectName("WidebandFromList");
    fromList->setAutoDefault(false);
    pathRow->addWidget(fromList);
    form->addRow(tr(PortText::WidebandPathLabel), pathRow);

    widebandProtocol_ = new QComboBox(box);
    widebandProtocol_->setObjectName("WidebandProtocol");
    for (int i = 0; i < WidebandProtocolCount; ++i)
        widebandProtocol_->addItem(
            tr(static_cast<PortText>(static_cast<int>(PortText::ProtocolAutomatic) + i)));
    widebandProtocol_->setCurrentIndex(static_cast<int>(
        widebandProtocolFromKey(current.protocol).value_or(WidebandProtocol::Automatic)));
    form->addRow(tr(PortText::WidebandProtocolLabel), widebandProtocol_);

    stoich_ = new QLineEdit(QString::fromStdString(stoichAfrText(current.stoichAfr)), box);
    stoich_->setObjectName("WidebandStoich");
    stoich_->setMaxLength(16);
    form->addRow(tr(PortText::StoichLabel), stoich_);
    showAfr_ = new QCheckBox(tr(PortText::ShowAfr), box);
    showAfr_->setObjectName("WidebandShowAfr");
    showAfr_->setChecked(current.showAfr);
    form->addRow(showAfr_);

    // Above the problem line and the buttons.
    auto* vbox = static_cast<QVBoxLayout*>(layout());
    vbox->insertWidget(vbox->count() - 2, box);
    connect(fromList, &QPushButton::clicked, this, [this] {
        const int row = deviceTable_->currentRow();
        if (row >= 0 && row < static_cast<int>(devices_.size()))
            widebandPath_->setText(
                QString::fromStdString(preferredPath(devices_[static_cast<std::size_t>(row)])));
    });
    for (QLineEdit* e : {widebandPath_, stoich_})
        connect(e, &QLineEdit::textEdited, this, [this] { showProblem({}); });
    resize(width(), height() + box->sizeHint().height());
}

std::optional<WidebandSettings> PortDialog::widebandChoice(QString* why) const {
    if (wideband_ == nullptr) return std::nullopt;
    const auto refuse = [why](const QString& text) {
        if (why != nullptr) *why = text;
        return std::nullopt;
    };
    WidebandSettings s;
    const QString path = widebandPath_->text().trimmed();
    s.device = path.toStdString();
    if (!path.isEmpty()) {
        const PathProblem problem = checkDevicePath(s.device);
        if (problem != PathProblem::Ok) return refuse(pathProblemText(problem, path, language_));
        if (path == chosenPath())
            return refuse(portQText(PortText::WidebandSameAsUnit, language_, {path.toStdString()}));
    }
    s.protocol =
        widebandProtocolKey(static_cast<WidebandProtocol>(widebandProtocol_->currentIndex()));
    const std::optional<double> stoich = parseStoichAfr(stoich_->text().toStdString());
    if (!stoich)
        return refuse(portQText(PortText::StoichRefused, language_,
                                {stoich_->text().toStdString(), stoichAfrText(MinStoichAfr),
                                 stoichAfrText(MaxStoichAfr)}));
    s.stoichAfr = *stoich;
    s.showAfr = showAfr_->isChecked();
    return s;
}

void PortDialog::accept() {
    // The whole choice is checked before any of it is written.
    WidebandSettings wideband;
    if (wideband_ != nullptr) {
        QString why;
        const std::optional<WidebandSettings> choice = widebandChoice(&why);
        if (!choice) {
            showProblem(why);
            return;
        }
        wideband = *choice;
    }
    QString why = commit ? commit(chosenSlot(), chosenPath()) : QString();
    if (why.isEmpty() && wideband_ != nullptr && commitWideband) why = commitWideband(wideband);
    if (!why.isEmpty()) {
        showProblem(why);
        return;
    }
    QDialog::accept();
}

} // namespace velmora::ui
