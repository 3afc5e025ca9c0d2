#include "ui/ports/wideband_port.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include <cerrno>

#include "lang/port_texts.h"
#include "ui/main_window/form_hlav.h"
#include "ui/ports/port_dialog.h"

namespace velmora::ui {

namespace {

using lang::PortText;

WidebandProtocol protocolOf(const WidebandSettings& s) {
    return widebandProtocolFromKey(s.protocol).value_or(WidebandProtocol::Automatic);
}

PortText stateText(WidebandState state) {
    switch (state) {
    case WidebandState::WarmingUp:
        return PortText::WbWarmingUp;
    case WidebandState::Calibrating:
        return PortText::WbCalibrating;
    case WidebandState::SensorError:
        return PortText::WbSensorError;
    case WidebandState::NoReading:
        return PortText::WbNoReading;
    case WidebandState::Ok: // without lambda: nothing that could be shown
    case WidebandState::Invalid:
        break;
    }
    return PortText::WbInvalid;
}

} // namespace

QString widebandStatusText(const WidebandView& v, std::uint8_t language) {
    switch (v.port) {
    case WidebandView::Port::None:
        return {};
    case WidebandView::Port::CannotOpen:
        return portQText(PortText::WbCannotOpen, language);
    case WidebandView::Port::Lost:
        return portQText(PortText::WbLost, language);
    case WidebandView::Port::Reopened:
        if (!v.reading) return portQText(PortText::WbReopened, language);
        break;
    case WidebandView::Port::Open:
        break;
    }
    if (!v.reading)
        return portQText(v.searching ? PortText::WbSearching : PortText::WbNoReading, language);
    const WidebandReading& r = *v.reading;
    if (r.state != WidebandState::Ok || !r.lambda) return portQText(stateText(r.state), language);
    if (v.showAfr) return QStringLiteral("AFR ") + QString::number(*r.lambda * v.stoichAfr, 'f', 1);
    return QStringLiteral("λ ") + QString::number(*r.lambda, 'f', 2);
}

WidebandPort::WidebandPort(TFormHlav& form, std::function<std::uint64_t()> clockMs)
    : form_(form), clockMs_(std::move(clockMs)), reader_(clockMs_) {
    setObjectName("WidebandPort");
    settings_ = loadWidebandSettings(form.settingsStore());

    field_ = new QLabel(form.statusBar());
    field_->setObjectName("LabelWideband");
    field_->setContentsMargins(4, 0, 4, 0);
    field_->hide();
    form.statusBar()->addPermanentWidget(field_);

    readings_ = reader_.readings().subscribe([this](const WidebandReading&) {
        reopened_ = false;
        updateField();
    });
    connect(&form, &TFormHlav::textsApplied, this, &WidebandPort::updateField);
    timer_ = new QTimer(this);
    timer_->setInterval(PollIntervalMs);
    connect(timer_, &QTimer::timeout, this, &WidebandPort::poll);
}

WidebandPort::~WidebandPort() {
    readings_.reset();
}

void WidebandPort::start() {
    if (timer_->isActive()) return;
    open();
    timer_->start();
}

void WidebandPort::open() {
    reopened_ = false;
    failure_.clear();
    if (settings_.device.empty()) {
        reader_.close();
    } else if (reader_.open(settings_.device, protocolOf(settings_), settings_.stoichAfr) !=
               OpenResult::Opened) {
        failure_ = QString::fromStdString(
            openFailureLine(reader_.openFailure(SystemDevices().devices()), form_.Language));
    }
    updateField();
}

QString WidebandPort::apply(const WidebandSettings& s) {
    // Confirming the dialog for the unit's port alone leaves the file as it was; a controller
    // that did not open is tried again.
    if (s.device == settings_.device && s.protocol == settings_.protocol &&
        s.stoichAfr == settings_.stoichAfr && s.showAfr == settings_.showAfr) {
        if (!s.device.empty() && !reader_.isOpen() && !reader_.reconnector().waiting()) open();
        return {};
    }
    const WriteResult written = saveWidebandSettings(form_.settingsStore(), s);
    if (!written)
        return portQText(PortText::SaveFailed, form_.Language, {written.path, written.error});
    settings_ = s;
    open();
    if (!failure_.isEmpty())
        form_.messageBox(
            portQText(PortText::WidebandOpenFailed, form_.Language, {failure_.toStdString()}));
    return {};
}

void WidebandPort::poll() {
    if (form_.closed()) return;
    // A controller that was missing when it was chosen (not yet plugged in at the start) is
    // opened once its device appears; other failures wait for the user.
    const std::uint64_t now = clockMs_();
    if (!settings_.device.empty() && !reader_.isOpen() && !reader_.reconnector().waiting() &&
        reader_.port().openError() == ENOENT && now >= nextTry_) {
        nextTry_ = now + Reconnector::RetryMs;
        if (pathExists(settings_.device)) open();
    }
    switch (reader_.poll()) {
    case Reconnector::Event::Lost:
        emit portLost();
        break;
    case Reconnector::Event::Reconnected:
        reopened_ = true;
        emit portReopened();
        break;
    case Reconnector::Event::Abandoned:
    case Reconnector::Event::None:
        break;
    }
    updateField();
}

WidebandView WidebandPort::view() const {
    WidebandView v;
    v.showAfr = settings_.showAfr;
    v.stoichAfr = settings_.stoichAfr;
    if (settings_.device.empty()) return v;
    if (reader_.reconnector().waiting())
        v.port = WidebandView::Port::Lost;
    else if (!reader_.isOpen())
        v.port = WidebandView::Port::CannotOpen;
    else
        v.port = reopened_ ? WidebandView::Port::Reopened : WidebandView::Port::Open;
    const std::uint64_t now = clockMs_();
    const auto& last = reader_.lastReading();
    if (v.port != WidebandView::Port::Lost && last && last->timeMs <= now &&
        now - last->timeMs <= WidebandJoinMs)
        v.reading = last;
    const WidebandParser* parser = reader_.parser();
    v.searching = parser != nullptr && parser->settled() == WidebandProtocol::Automatic;
    return v;
}

void WidebandPort::updateField() {
    const WidebandView v = view();
    const std::uint8_t language = form_.Language;
    const QString text = widebandStatusText(v, language);
    if (field_->text() != text) field_->setText(text);
    const auto protocol = static_cast<PortText>(static_cast<int>(PortText::ProtocolAutomatic) +
                                                static_cast<int>(protocolOf(settings_)));
    const QString hint =
        v.port == WidebandView::Port::CannotOpen
            ? failure_
            : portQText(PortText::WbHint, language,
                        {settings_.device, std::string(lang::portText(protocol, language))});
    if (field_->toolTip() != hint) field_->setToolTip(hint);
    field_->setVisible(v.port != WidebandView::Port::None);
}

} // namespace velmora::ui
