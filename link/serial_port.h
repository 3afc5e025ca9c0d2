// The serial port to the unit: COM1..COM6 mapped to device paths, used exclusively at
// 9600 baud 8N1 without flow control. A wide-band controller's port is the same kind of port at
// its own rate.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

#include "link/port.h"

namespace velmora {

// Device path of COM1..COM6, index 0 for COM1.
using PortMap = std::array<std::string, 6>;
// /dev/ttyS0 .. /dev/ttyS5.
PortMap defaultPortMap();
// /dev/tty, /dev/console and /dev/ptmx: names of another terminal, not of a serial line.
bool terminalAlias(dev_t device);
// The errno that makes `path` no port before anything opens it (missing, a name too long, a
// folder, a terminal alias); 0 when the open itself must tell.
int unusableDevice(const std::string& path);

// The message box text of a port that cannot be opened, English in every language.
constexpr const char* ComOpeningError = "Com opening error";

enum class OpenResult {
    Opened,
    NoPort, // ComPort outside 1..6: nothing opened, nothing to report
    Failed, // show ComOpeningError
};

class SerialPort : public FramePort {
public:
    // Bound on the wait for a written frame to drain: a few frame times at 9600 baud.
    static constexpr int DrainLimitMs = 100;

    SerialPort();
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // OpenPort: opens port `comPort` (1..6) through `map`. A port still open is closed first.
    OpenResult open(std::uint8_t comPort, const PortMap& map = defaultPortMap());
    // Opens a device by its path; for tests and tools.
    OpenResult openPath(const std::string& path);
    // ClosePort: restores the line settings found at opening and closes. Safe to repeat.
    void close() override;

    bool isOpen() const override;
    std::size_t bytesWaiting() override;
    std::size_t read(std::uint8_t* dst, std::size_t max) override;
    bool waitReadable(int ms) override;
    void writeFrame(const Frame& frame) override;

    // The rate of this and of later opens (9600 until set); false when the open port refused it.
    bool setBaudRate(int baud);
    int baudRate() const;
    // Called from the event loop when bytes arrived, so that a reader can take them at once
    // with their arrival time rather than at the next tick.
    std::function<void()> onReadable;

    // The device that was last opened, or tried.
    const std::string& path() const;
    // True after the device vanished while open (adapter unplugged, pty master gone); the
    // port is then closed until it is opened again.
    bool lost() const;
    // Why the last open failed, as an errno value (ENOENT, EACCES, EBUSY ...; 0 after a
    // successful open), and the system's text for it.
    int openError() const;
    const std::string& openErrorText() const;
    // Counts opens and closes, so that an observer can tell whether someone else touched the
    // port since it last looked.
    unsigned generation() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace velmora
