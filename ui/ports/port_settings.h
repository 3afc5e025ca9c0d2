// The window's serial port beyond the Com items: the "Port settings…" item and its dialog, the
// device each Com item means in its hint, why an open failed, and reopening a device that
// vanished once it is back. Reaches the window only through its port-related members.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "lang/port_texts.h"
#include "link/port_setup.h"

class QAction;
class QTimer;

namespace velmora::ui {

class TFormHlav;
class WidebandPort;

class PortSettings : public QObject {
    Q_OBJECT
public:
    static constexpr int WatchIntervalMs = 100;
    static constexpr int OfferDelayMs = 300;

    explicit PortSettings(TFormHlav& form);

    // Where the serial devices come from; tests hand in their own.
    void setDeviceSource(std::shared_ptr<DeviceSource> source) { source_ = std::move(source); }
    DeviceSource& deviceSource() { return *source_; }
    QAction* menuItem() const { return item_; }
    // The wide-band lambda controller the dialog also sets; none when null.
    void setWideband(WidebandPort* wideband) { wideband_ = wideband; }

    // The dialog, modal, with slot and path chosen in advance when given.
    void showDialog(int slot = 0, const QString& path = {});
    // What confirming the dialog does: check the path, write it to [PORTS] for the slot,
    // choose the slot and reopen as a Com item does. Returns why it refused ("" when done);
    // a refusal changes nothing, neither the file nor the port.
    QString apply(int slot, const QString& path);

    // "Com opening error" and a line with the device, the reason and what to do.
    QString openFailureText();
    // Asks whether to open the dialog (the box offering the one adapter present); tests answer
    // it themselves.
    std::function<bool(const QString& text)> askOpenDialog;

    // One look at the port: notices a vanished device and reopens it once it is back.
    void watch(std::int64_t nowMs);
    const Reconnector& reconnector() const { return reconnector_; }

signals:
    // The device of the port vanished, or came back and was reopened: another unit may be on
    // the line.
    void portLost();
    void portReopened();

private:
    void rememberPort();
    void retranslate();
    void reportOpenFailure();
    void offerAdapter(const QString& text, int slot);
    void offerOnFirstStart();
    void showStatus(const QString& text);
    QString statusFor(lang::PortText t) const;

    TFormHlav& form_;
    std::shared_ptr<DeviceSource> source_;
    Reconnector reconnector_;
    WidebandPort* wideband_ = nullptr;
    QAction* item_ = nullptr;
    QTimer* timer_ = nullptr;
    bool firstStart_ = false;
    bool started_ = false;
    QString status_;              // the last reconnection text shown
    lang::PortText statusKind_{}; // and which one it was, to redo it in another language
    QString statusDevice_;
    int statusSlot_ = 0;
};

} // namespace velmora::ui
