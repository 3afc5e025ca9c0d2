// Wide-band lambda controllers on a serial line of their own: the protocols the common ones
// speak, a parser that turns their bytes into readings, and the encoders the simulated
// controllers send with. A reading is never invented: a frame that does not check out, a
// status that carries no lambda (warm-up, calibration, an error) or a value outside what a
// sensor can report gives a reading without lambda, never 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

enum class WidebandProtocol : std::uint8_t {
    Automatic,    // listen at each protocol's rate, settle on the one whose frames check out
    InnovateMts,  // Innovate MTS / serial protocol 2 (LC-1, LC-2, LM-2), 19200 baud
    AemText,      // AEM X-Series text, "14.7\r\n" (AFR) or "1.00\r\n" (lambda), 9600 baud
    MotecPlm,     // MoTeC PLM RS232 message, 0x80 0x81 0x82 header, 16-bit sum, 9600 baud
    NumberPerLine // one lambda or AFR number per line, 9600 baud
};
constexpr int WidebandProtocolCount = 5;

// What the controller says of its sensor.
enum class WidebandState : std::uint8_t {
    NoReading,   // nothing heard yet, or the last reading is too old to join
    Ok,          // lambda valid
    WarmingUp,   // heater warming the sensor
    Calibrating, // free-air or heater calibration in progress, or one is needed
    SensorError, // the controller reports an error (code in `detail`)
    Invalid,     // a frame or line that did not check out, or a value no sensor gives
};
constexpr int WidebandStateCount = 6;

// Range a wide-band sensor reports; values outside are no reading.
constexpr double MinSensorLambda = 0.5;
constexpr double MaxSensorLambda = 8.0;

struct WidebandReading {
    std::uint64_t timeMs = 0; // arrival of the reading's last byte, on the caller's clock
    WidebandState state = WidebandState::NoReading;
    std::optional<double> lambda; // only with state Ok
    int detail = 0;               // error code, warm-up percent ... as the controller sends it
};

// Serial rate of a protocol (19200 for MTS, 9600 for the others; Automatic starts at 19200).
int widebandBaud(WidebandProtocol protocol);
// Stable key of a protocol for the settings file ("auto", "mts", "aem", "plm", "line") and back.
const char* widebandProtocolKey(WidebandProtocol protocol);
std::optional<WidebandProtocol> widebandProtocolFromKey(const std::string& key);

namespace detail {
// Where one protocol's framing stands in the byte stream (the parser's own state).
struct WidebandFraming {
    WidebandProtocol protocol = WidebandProtocol::InnovateMts;
    std::vector<std::uint8_t> held; // the frame or line so far
    std::size_t skipped = 0;        // bytes of junk since the last frame
    bool inRow = false;             // the last frame checked out and nothing came between
    bool firstLine = true;          // lines: the first may be the tail of one
    bool dropping = false;          // lines: skipping the rest of an over-long line
};
} // namespace detail

// Turns a controller's bytes into readings. Bytes may come in pieces of any size; a frame or
// line is judged only once it is whole. With Automatic the parser listens at one rate at a
// time (baud()) and settles on the first protocol of which two frames in a row check out.
// MTS packets and lines carry no checksum: one gives a reading only when the one before it
// checked out too, so the first after a start or a fault only brings the stream back in step.
// Every Invalid reading given counts in framesRejected().
class WidebandParser {
public:
    explicit WidebandParser(WidebandProtocol protocol, double stoichAfr = 14.7);

    // Bytes that arrived at timeMs; the readings they complete are appended to `out`.
    void feed(const std::uint8_t* data, std::size_t size, std::uint64_t timeMs,
              std::vector<WidebandReading>& out);
    // Automatic: when nothing checked out at the present rate for long enough, move to the
    // next rate (the caller then reopens the port at baud()). True when the rate changed.
    bool tick(std::uint64_t nowMs);

    WidebandProtocol chosen() const;  // as chosen by the user
    WidebandProtocol settled() const; // the protocol heard; Automatic while still listening
    int baud() const;                 // the rate the port should run at now
    double stoichAfr() const { return stoich_; }
    std::uint64_t framesRejected() const { return rejected_; }

private:
    void listen();

    WidebandProtocol chosen_, settled_;
    double stoich_;
    std::uint64_t rejected_ = 0;
    std::vector<detail::WidebandFraming> framing_; // the chosen protocol, or those of this rate
    int baud_ = 0;
    std::optional<std::uint64_t> listenSinceMs_; // Automatic: when this rate's turn began
    std::uint64_t lastGoodMs_ = 0;               // the last frame that checked out
    std::optional<std::uint64_t> lastByteMs_;
    std::uint64_t streamSinceMs_ = 0; // bytes began coming again after a silence
};

// The bytes a controller of `protocol` sends for one reading (the simulated controllers).
// With state Ok, `lambda` is sent; otherwise the protocol's status for the state, where it has
// one (AEM and plain lines send a line without a number). `afr`: AEM and plain lines send AFR
// (lambda x stoichAfr) instead of lambda.
std::vector<std::uint8_t> encodeWideband(WidebandProtocol protocol, WidebandState state,
                                         double lambda, double stoichAfr = 14.7, bool afr = true,
                                         int detail = 0);

} // namespace velmora
