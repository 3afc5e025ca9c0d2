// The wide-band lambda controller beside the unit: its port as [WIDEBAND] sets it, the reader
// that joins its readings to the unit's samples, and the status-bar field with lambda (or AFR)
// and the controller's state. Shows nothing while no device is chosen.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

#include "files/settings.h"
#include "link/wideband_reader.h"

class QLabel;
class QTimer;

namespace velmora::ui {

class TFormHlav;

// What the status field says, as plain data.
struct WidebandView {
    enum class Port { None, CannotOpen, Lost, Reopened, Open };
    Port port = Port::None;
    std::optional<WidebandReading> reading; // the newest, when it is fresh enough to show
    bool searching = false;                 // Automatic still listening for a protocol
    bool showAfr = false;
    double stoichAfr = DefaultStoichAfr;
};
// "λ 0.98", "AFR 14.4" or the state ("λ: warming up"); a number only for a reading with lambda.
// Empty for Port::None.
QString widebandStatusText(const WidebandView& view, std::uint8_t language);

class WidebandPort : public QObject {
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 55;

    // `clockMs`: the unit link's clock, so that readings and samples join.
    WidebandPort(TFormHlav& form, std::function<std::uint64_t()> clockMs);
    ~WidebandPort() override;

    WidebandReader& reader() { return reader_; }
    const WidebandSettings& settings() const { return settings_; }
    QLabel* statusField() const { return field_; }

    // Opens the device [WIDEBAND] names, after the window's start-up.
    void start();
    // What confirming the dialog does for the controller: writes [WIDEBAND] and opens the
    // device, or closes the port for none. Returns why it could not ("" when done).
    QString apply(const WidebandSettings& settings);
    // One look at the port (the timer does it): reads, reopens, refreshes the field.
    void poll();

signals:
    void portLost();
    void portReopened();

private:
    void open();
    void updateField();
    WidebandView view() const;

    TFormHlav& form_;
    std::function<std::uint64_t()> clockMs_;
    WidebandReader reader_;
    WidebandSettings settings_;
    QLabel* field_ = nullptr;
    QTimer* timer_ = nullptr;
    Subscription readings_;
    bool reopened_ = false; // reopened after a loss and nothing heard since
    std::uint64_t nextTry_ = 0;
    QString failure_; // why the last open failed
};

} // namespace velmora::ui
