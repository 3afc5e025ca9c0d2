#include "ui/ports/port_settings.h"
#include "ui/main_window/form_shared.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "files/settings.h"
#include "ui/main_window/form_hlav.h"
#include "ui/ports/port_dialog.h"
#include "ui/ports/wideband_port.h"

namespace velmora::ui {

namespace {

using lang::PortText;

// The hint a Com item had before its device was added, and the hint with the device.
constexpr const char* BaseHintProperty = "velmoraPortBaseHint";
constexpr const char* ShownHintProperty = "velmoraPortShownHint";

std::int64_t monotonicMs() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

} // namespace

PortSettings::PortSettings(TFormHlav& form)
    : form_(form), source_(std::make_shared<SystemDevices>()), reconnector_(form.serialPort()) {
    setObjectName("PortSettings");
    firstStart_ = !QFileInfo::exists(QString::fromStdString(form.settingsStore().path()));

    if (QMenu* com = form.menu(TFormHlav::MainMenu::Com)) {
        com->addSeparator()->setObjectName("NPortSettings");
        item_ = com->addAction(portQText(PortText::MenuCaption, 1));
        item_->setObjectName("MenuPortSettings");
        item_->setShortcut(QKeySequence("Ctrl+Shift+P"));
        connect(item_, &QAction::triggered, this, [this] { showDialog(); });
    }
    for (int i = 1; i <= 6; ++i) {
        if (QAction* a = form.comAction(i))
            connect(a, &QAction::triggered, this, &PortSettings::rememberPort);
    }
    form.reportOpenFailure = [this] { reportOpenFailure(); };
    askOpenDialog = [this](const QString& text) {
        // Without a display nobody could answer: the offer is left out, not left waiting.
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
            return false;
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text,
                        QMessageBox::NoButton, &form_);
        box.setTextFormat(Qt::PlainText);
        QPushButton* open = box.addButton(portQText(PortText::MenuCaption, form_.Language),
                                          QMessageBox::AcceptRole);
        QPushButton* close = box.addButton(portQText(PortText::CloseButton, form_.Language),
                                           QMessageBox::RejectRole);
        box.setDefaultButton(open);
        box.setEscapeButton(close);
        box.exec();
        return box.clickedButton() == open;
    };
    connect(&form, &TFormHlav::textsApplied, this, [this] {
        retranslate();
        if (!started_) {
            started_ = true;
            // Listing the devices takes a while: not before the window is on the screen.
            if (firstStart_ && form_.ComPort == 0)
                QTimer::singleShot(OfferDelayMs, this, &PortSettings::offerOnFirstStart);
        }
    });

    timer_ = new QTimer(this);
    timer_->setInterval(WatchIntervalMs);
    connect(timer_, &QTimer::timeout, this, [this] { watch(monotonicMs()); });
    timer_->start();
}

void PortSettings::retranslate() {
    const std::uint8_t language = form_.Language;
    if (item_ != nullptr) {
        item_->setText(portQText(PortText::MenuCaption, language));
        item_->setProperty(HintProperty, portQText(PortText::MenuHint, language));
    }
    // Each Com item's hint names its device; a hint that a text set replaced since is the
    // new base.
    const PortMap& map = form_.portMap();
    for (int i = 0; i < 6; ++i) {
        QAction* a = form_.comAction(i + 1);
        if (a == nullptr) continue;
        const QString hint = a->property(HintProperty).toString();
        const QString base = hint == a->property(ShownHintProperty).toString()
                                 ? a->property(BaseHintProperty).toString()
                                 : hint;
        const std::size_t slot = static_cast<std::size_t>(i);
        const QString device = QString::fromStdString(
            map[slot].empty() ? defaultPortMap()[slot] : map[slot]); // before the settings load
        const QString shown = base.isEmpty() ? device : base + " — " + device;
        a->setProperty(BaseHintProperty, base);
        a->setProperty(ShownHintProperty, shown);
        a->setProperty(HintProperty, shown);
    }
    if (!status_.isEmpty() && form_.statusText() == status_) showStatus(statusFor(statusKind_));
}

void PortSettings::showDialog(int slot, const QString& path) {
    PortDialog dialog(*source_, form_.portMap(), slot != 0 ? slot : form_.ComPort, form_.Language,
                      &form_);
    if (!path.isEmpty()) dialog.setChosen(slot, path);
    dialog.commit = [this](int s, const QString& p) { return apply(s, p); };
    if (wideband_ != nullptr) {
        dialog.addWideband(wideband_->settings());
        dialog.commitWideband = [this](const WidebandSettings& s) { return wideband_->apply(s); };
    }
    dialog.exec();
}

QString PortSettings::apply(int slot, const QString& path) {
    const std::uint8_t language = form_.Language;
    if (slot < 1 || slot > 6) return portQText(PortText::PathEmpty, language);
    const std::string device = path.toStdString();
    const PathProblem problem = checkDevicePath(device);
    if (problem != PathProblem::Ok) return pathProblemText(problem, path, language);
    const WriteResult written = writePortEntry(form_.settingsStore(), slot, device);
    if (!written) return portQText(PortText::SaveFailed, language, {written.path, written.error});
    form_.setPortMap(loadPortMap(form_.settingsStore()));
    retranslate();
    form_.MenuCom1Click(slot);
    rememberPort();
    return {};
}

void PortSettings::rememberPort() {
    // As [PORTS] is: the rest of the settings keep waiting for the close. A failure here is
    // not fatal, the close writes the port again.
    writeComPort(form_.settingsStore(), form_.ComPort);
}

QString PortSettings::openFailureText() {
    const SerialPort& port = form_.serialPort();
    const OpenFailure failure = describeOpenFailure(port.path(), port.openError(),
                                                    port.openErrorText(), source_->devices());
    return QString(ComOpeningError) + "\n" +
           QString::fromStdString(openFailureLine(failure, form_.Language));
}

void PortSettings::reportOpenFailure() {
    const QString text = openFailureText();
    // A default device that is not there while one USB adapter is: offer it.
    const int slot = form_.ComPort;
    const SerialPort& port = form_.serialPort();
    const bool defaultDevice = slot >= 1 && slot <= 6 &&
                               port.path() == defaultPortMap()[static_cast<std::size_t>(slot - 1)];
    if (port.openError() == ENOENT && defaultDevice &&
        usbAdapters(source_->devices()).size() == 1) {
        offerAdapter(text, slot);
        return;
    }
    form_.messageBox(text);
}

void PortSettings::offerAdapter(const QString& text, int slot) {
    const std::vector<SerialDevice> adapters = usbAdapters(source_->devices());
    if (adapters.size() != 1) return;
    const QString path = QString::fromStdString(preferredPath(adapters.front()));
    if (askOpenDialog && askOpenDialog(text))
        QTimer::singleShot(0, this, [this, slot, path] { showDialog(slot, path); });
}

void PortSettings::offerOnFirstStart() {
    const std::vector<SerialDevice> adapters = usbAdapters(source_->devices());
    if (adapters.size() != 1) return;
    if (portMapped(form_.settingsStore(), 1)) return;
    offerAdapter(
        portQText(PortText::OfferSingleAdapter, form_.Language, {adapters.front().label()}), 1);
}

QString PortSettings::statusFor(PortText t) const {
    return portQText(
        t, form_.Language,
        {QString("COM%1").arg(statusSlot_).toStdString(), statusDevice_.toStdString()});
}

void PortSettings::showStatus(const QString& text) {
    status_ = text;
    form_.showStatusHint(text);
}

void PortSettings::watch(std::int64_t nowMs) {
    if (form_.closed()) return;
    switch (reconnector_.poll(nowMs)) {
    case Reconnector::Event::Lost:
        statusKind_ = PortText::Lost;
        statusSlot_ = form_.ComPort;
        statusDevice_ = QString::fromStdString(reconnector_.device());
        showStatus(statusFor(statusKind_));
        emit portLost();
        break;
    case Reconnector::Event::Reconnected:
        statusKind_ = PortText::Reconnected;
        showStatus(statusFor(statusKind_));
        emit portReopened();
        break;
    case Reconnector::Event::Abandoned:
        if (form_.statusText() == status_) form_.showStatusHint({});
        status_.clear();
        break;
    case Reconnector::Event::None:
        // A hint that came and went has blanked the notice; it holds while the wait lasts.
        if (reconnector_.waiting() && form_.statusText().isEmpty()) showStatus(status_);
        break;
    }
}

} // namespace velmora::ui
