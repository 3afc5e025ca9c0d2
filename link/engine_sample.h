// One moment of engine data: a monitor frame decoded once, with every channel of the Monitor
// page and the values other frame kinds carried to it. Everything that follows the engine
// (the data log, the map's live point and statistics, later views) takes these, never bytes.
#pragma once

#include <cstdint>
#include <optional>

#include "link/frame.h"
#include "link/monitor.h"
#include "link/wideband.h"

namespace velmora {

struct EngineSample {
    // Arrival on the link's clock, or the log time of a recorded one.
    std::uint64_t timeMs = 0;
    double time() const { return static_cast<double>(timeMs) / 1000.0; } // s
    bool replayed = false; // fed by a replay, not sent by the unit now
    Frame frame{};         // the bytes as they came
    int kind() const { return frame[0] & 0x0F; }
    // Bit k: a frame of kind k (0, 1, 2) came since the connection or the replay began.
    std::uint8_t kindsSeen = 0;
    // Whether every channel holds something the unit sent on this connection.
    bool complete() const { return (kindsSeen & 0x7) == 0x7; }

    // Every frame.
    int rpm = 0;        // 0 when the unit reports no speed
    int throttle = 0;   // %, from kind 2; above 100 is a sensor fault
    int throttleMv = 0; // sensor voltage
    int mapPercent = 0; // manifold pressure, %, from kind 2
    int mapMv = 0;
    int lambdaMv = 0; // narrow-band probe voltage
    int injectionUs = 0;
    // Kind 1 (baro, switches, advance, programmings, Privera measurement) and kind 2
    // (temperatures), carried to the frames between.
    int baroTenths = 0;      // 0.1 kPa
    int waterC = 0;          // the Monitor page's substitute 80 on a sensor fault
    bool waterFault = false; // the sensor reports a fault: the temperature is unknown
    int airC = 0;            // substitute 50 on a fault
    bool airFault = false;
    int advance = 0; // degrees
    int programmings = 0;
    int priveraMeasurementMv = 0;
    bool blocking = false, clutchMaster = false, startLimiter = false, tachoInput = false,
         n2o = false, priveraNormal = false, rpmWarning = false, rpmAlarm = false;
    // Kind 0.
    int supplyMv = 0;
    int priveraPositionMv = 0;

    // The wide-band controller's reading joined to this moment: the newest reading that
    // arrived at most WidebandJoinMs before the sample. Without a controller, or when the
    // newest is older, the state is NoReading and there is no lambda.
    bool widebandConnected = false; // a wide-band port is chosen and open
    WidebandState widebandState = WidebandState::NoReading;
    std::optional<double> widebandLambda;       // lambda; only with widebandState Ok
    std::optional<std::uint32_t> widebandAgeMs; // sample time minus the reading's arrival
    double stoichAfr = 14.7;                    // of the fuel, for AFR = lambda x stoichAfr
};

// A reading older than this at a sample's moment is missing for it.
constexpr std::uint32_t WidebandJoinMs = 200;

// Builds the samples of one link from the frames its decoder accepted: the frame's own
// channels from its bytes, the rest carried from earlier frames.
class SampleBuilder {
public:
    // After `decoder` accepted `frame`.
    const EngineSample& update(const Frame& frame, const MonitorValues& values,
                               std::uint8_t advanceMax, std::uint64_t timeMs, bool replayed);
    const EngineSample& last() const { return s_; }
    // The values stay, but every kind must come again before a sample is complete (a new
    // connection, or the start or end of a replay).
    void forgetKinds() { s_.kindsSeen = 0; }

private:
    EngineSample s_;
};

} // namespace velmora
