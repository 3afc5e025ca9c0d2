// A simulated engine behind the unit's monitor frames: a start, idle, throttle blips, a
// full-throttle run through the gears, the start limiter and a warm-up, repeating. It is
// stepped in fixed time steps and draws its noise from a seeded generator, so a given seed
// and step always give the same frames.
#pragma once

#include "link/frame.h"
#include "model/calibration.h"
#include "sim/random.h"

#include <cstdint>

namespace velmora::sim {

struct EngineState {
    double time = 0.0; // s since the engine was started
    double rpm = 0.0;
    double throttle = 0.0; // %
    double waterC = 20.0;
    double airC = 24.0;
    double supplyMv = 12400.0;
    double lambdaMv = 450.0;
    double iapKpa = 98.0;
    double apKpa = 98.5;
    double priveraMv = 0.0;
    double injectionUs = 0.0;
    double advance = 0.0; // degrees before top dead centre
    bool blocking = false;
    bool clutchMaster = false;
    bool startLimiter = false;
    bool tacho = true; // the shared tacho/lambda input is used as tacho
    bool n2o = false;
    bool priveraOk = true;
    bool rpmWarning = false;
    bool rpmAlarm = false;
};

// Length of one round of the demonstration scenario, in simulated seconds. The ride
// scenario draws legs of a trip from the seeded generator instead: stops, town, country
// road, motorway and pulls through the gears, after a minute of warm-up at idle.
constexpr double ScenarioSeconds = 40.0;

class Engine {
public:
    // With ride set, the engine rides a long trip instead of the demonstration round.
    explicit Engine(std::uint64_t seed, double startWaterC = 20.0, bool ride = false);

    // Advance the simulation by dt seconds, driven by the unit's calibration.
    void step(double dt, const Calibration& cal);

    // The monitor frame of kind 0, 1 or 2 for the current state.
    Frame frame(int kind, const Calibration& cal, std::uint16_t programmingCount) const;

    // Step by dt and return the next frame, the kinds taking turns 0, 1, 2, 0 ...
    Frame nextFrame(double dt, const Calibration& cal, std::uint16_t programmingCount);

    const EngineState& state() const { return s_; }

    // Speed and throttle held where the scenario would move them; negative: not held.
    void hold(double rpm, double throttle) {
        holdRpm_ = rpm;
        holdThrottle_ = throttle;
    }

private:
    double idleRpm() const;
    void stepSpeed(double dt, double phase, const Calibration& cal);
    void stepRide(double dt, const Calibration& cal);

    Random random_;
    EngineState s_;
    int nextKind_ = 0;
    std::uint16_t frameCount_ = 0;
    int gear_ = 1;
    double clutchUntil_ = 0.0;
    bool ride_ = false;
    double legEnd_ = 0.0; // ride: end of the current leg, s
    int leg_ = 0;         // 0 stop, 1 town, 2 country road, 3 motorway, 4 pull
    double cruise_ = 0.0; // throttle the leg settles at, %
    double holdRpm_ = -1.0, holdThrottle_ = -1.0;
};

// Converter counts that the monitor decoder turns back into the given value.
std::uint16_t countsForSensorMv(double mv);                  // v(r) = r * 2430 / 8184
std::uint16_t countsForDoubledMv(double mv);                 // 2 v(r)
std::uint16_t countsForSupplyMv(double mv);                  // 11 v(r) + 650
std::uint16_t countsForRatio(double mv, double fullScaleMv); // r * fullScale / 8184

} // namespace velmora::sim
