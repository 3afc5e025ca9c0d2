// A wide-band lambda controller on a serial port of its own: opened exclusively at its
// protocol's rate, read as its bytes arrive, each reading stamped with its arrival time on the
// unit link's clock and joined to the unit's live samples. A device that vanishes is reopened
// once it is back; meanwhile the samples carry no lambda.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/port_setup.h"
#include "link/serial_port.h"
#include "link/stream.h"
#include "link/wideband.h"
#include "link/wideband_join.h"

namespace velmora {

// Bytes as they came from the controller, with their arrival time, for the raw byte log.
struct WidebandBytes {
    std::uint64_t timeMs;
    std::vector<std::uint8_t> data;
};

class WidebandReader : public SampleJoiner {
public:
    // At most this much is read at one go, so that a flood cannot hold up the window.
    static constexpr std::size_t ReadLimit = 64 * 1024;

    // `clockMs`: the same clock as the unit link's samples.
    explicit WidebandReader(std::function<std::uint64_t()> clockMs);
    ~WidebandReader() override;
    WidebandReader(const WidebandReader&) = delete;
    WidebandReader& operator=(const WidebandReader&) = delete;

    // Opens `device` exclusively at the protocol's rate (a port open before is closed first);
    // the readings so far are forgotten. On failure port() tells why, as for the unit's port.
    OpenResult open(const std::string& device, WidebandProtocol protocol, double stoichAfr = 14.7);
    // Closes on purpose: no reopening, and the samples say no controller is connected.
    void close();

    bool isOpen() const { return port_.isOpen(); }
    // The device asked for by the last open; empty when none.
    const std::string& device() const { return device_; }
    const SerialPort& port() const { return port_; }
    // The reason of a failed open, described as for the unit's port.
    OpenFailure openFailure(const std::vector<SerialDevice>& present) const;
    // nullptr until the first open.
    const WidebandParser* parser() const { return parser_.get(); }
    const Reconnector& reconnector() const { return reconnector_; }
    // Replaceable for tests, as the unit port's.
    std::function<std::string(const std::string&)>& aliasOf() { return reconnector_.aliasOf; }

    // Takes the bytes waiting now, stamped with the present time. Runs by itself when bytes
    // arrive while an event loop runs; poll() runs it too.
    void readWaiting();
    // Call every tick or so: reads, lets the parser move to another rate (and sets the port to
    // it), notices a vanished device and reopens it once it is back.
    Reconnector::Event poll();

    // The newest reading, whatever its age.
    const std::optional<WidebandReading>& lastReading() const { return last_; }

    Stream<WidebandBytes>& bytes() { return bytes_; }
    Stream<WidebandReading>& readings() { return readings_; }

    // Live samples get the reading of their moment; replayed ones keep what the replay gave.
    void join(EngineSample& sample) override;

private:
    void restartParser();

    std::function<std::uint64_t()> clockMs_;
    SerialPort port_;
    Reconnector reconnector_;
    std::unique_ptr<WidebandParser> parser_;
    WidebandProtocol protocol_ = WidebandProtocol::Automatic;
    double stoich_ = 14.7;
    std::string device_;
    WidebandJoin join_;
    std::optional<WidebandReading> last_;
    Stream<WidebandBytes> bytes_;
    Stream<WidebandReading> readings_;
    std::vector<std::uint8_t> buffer_;
    std::vector<WidebandReading> parsed_;
};

} // namespace velmora
