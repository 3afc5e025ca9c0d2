// A simulated engine behind the unit's monitor frames: a start, idle, throttle blips, a
// full-throttle run through the gears, the start limiter and a warm-up, repeating. It is
// stepped in fixed time steps and draws its noise from a seeded generator, so a given seed
// and step always give the same frames.
//
// Its lambda follows the fuel the unit delivers: a hidden requirement over throttle and speed
// against the programmed map with the unit's corrections. The exhaust reaches the sensors after
// a transport delay that shrinks with speed; inside each step the engine advances in steps of
// at most 5 ms so that the delay is resolved to a few milliseconds.
#pragma once

#include "link/frame.h"
#include "model/calibration.h"
#include "sim/random.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::sim {

struct EngineState {
    double time = 0.0; // s since the engine was started
    double rpm = 0.0;
    double throttle = 0.0; // %
    double waterC = 20.0;
    double airC = 24.0;
    double supplyMv = 12400.0;
    double lambdaMv = 450.0; // narrow-band probe
    double lambda = 1.0;     // of the exhaust leaving the cylinders now (FreeAirLambda: no fuel)
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

// What a sensor sees in exhaust without fuel (fuel cut, a stopped engine): lean beyond the
// range of any wide-band sensor.
constexpr double FreeAirLambda = 9.0;

// Throttle opening of each map row, in percent.
constexpr std::array<double, 10> MapRowThrottle{0, 2, 5, 10, 20, 30, 40, 60, 80, 100};

// The fuel the engine really needs, in map units (%): cells[10 * row + col], rows on
// MapRowThrottle, columns on `rpms` (the speed axis of the calibration it was made against).
// Over water and air temperature and for cylinders 2 and 3 it needs what the corrections of
// that calibration give (VODA_*, VZDUCH_*, KOR23_* in %), so a warm engine runs at
// lambda = cell needed / cell programmed until those corrections are changed; below about
// 60 °C it needs more than any of them give.
struct FuelRequirement {
    std::array<double, 100> cells{};
    std::array<int, 10> rpms{};
    std::array<double, 5> water{100, 100, 100, 100, 100};
    std::array<double, 5> air{100, 100, 100, 100, 100};
    std::array<double, 10> cylinders{100, 100, 100, 100, 100, 100, 100, 100, 100, 100};
};

// The programmed map times a smooth seeded pattern of a few low-frequency waves over rows and
// columns; every cell lies within +-spreadPercent of the programmed one.
FuelRequirement requirementFromSeed(std::uint64_t seed, const Calibration& programmed,
                                    double spreadPercent = 20.0);

struct RequirementResult {
    std::optional<FuelRequirement> requirement;
    std::string error; // empty when read
};
// Ten rows of ten positive numbers (row 0 is the 0 % throttle row), separated by tabs or
// spaces, as the map window copies them; decimals with '.'. Columns on the calibration's axis,
// the needs over temperature and per cylinder from its corrections.
RequirementResult parseRequirement(std::string_view text, const Calibration& cal);
RequirementResult readRequirementFile(const std::string& path, const Calibration& cal);

// A map of cells in % interpolated bilinearly at an operating point; outside the axes the
// edge rows and columns hold.
double bilinearCell(const double* cells, const double* rpms, double throttle, double rpm);
// Fuel per injection of a warm-running engine as the unit meters it, in us: the programmed map
// at the point times the water, air and cylinder 2/3 corrections (no enrichment).
double meteredUs(const Calibration& cal, double throttle, double rpm, double waterC, double airC);
// Fuel per injection the engine needs with this requirement, in us, cold engine included.
double requiredUs(const FuelRequirement& need, double throttle, double rpm, double waterC,
                  double airC);

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

    // The hidden fuel requirement; without one the engine needs just what the unit meters, so
    // a warm engine runs at lambda 1 apart from enrichment and fuel cut.
    void setRequirement(std::optional<FuelRequirement> need) { need_ = std::move(need); }
    const std::optional<FuelRequirement>& requirement() const { return need_; }

    // Transport delay from the cylinders to the sensors at 3000 rpm, in ms (default 200).
    void setDelayMsAt3000(double ms) { delayMsAt3000_ = ms; }
    // Seconds the exhaust takes to reach the sensors at this speed: the delay at 3000 rpm scaled
    // by 3000 / rpm, within 0.1 to 0.4 s.
    double transportDelay(double rpm) const;
    // Wide-band lambda at the sensor now, with its response and noise; FreeAirLambda while the
    // sensor sees exhaust without fuel.
    double sensorLambda() const { return sensorLambda_; }

    // Speed and throttle held where the scenario would move them; negative: not held.
    void hold(double rpm, double throttle) {
        holdRpm_ = rpm;
        holdThrottle_ = throttle;
    }

private:
    double idleRpm() const;
    void stepSpeed(double dt, double phase, const Calibration& cal);
    void stepRide(double dt, const Calibration& cal);
    void stepFuel(double t0, double dt, double rpm0, double throttle0, const Calibration& cal);
    double exhaustAt(double t) const;

    Random random_;
    Random sensorNoise_;
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

    std::optional<FuelRequirement> need_;
    double delayMsAt3000_ = 200.0;
    double enrichUntil_ = -1.0;                     // acceleration enrichment ends, s
    std::deque<std::pair<double, double>> exhaust_; // (time, lambda) of the last half second
    double widebandFiltered_ = FreeAirLambda;       // sensor response, before noise
    double sensorLambda_ = FreeAirLambda;
};

// Converter counts that the monitor decoder turns back into the given value.
std::uint16_t countsForSensorMv(double mv);                  // v(r) = r * 2430 / 8184
std::uint16_t countsForDoubledMv(double mv);                 // 2 v(r)
std::uint16_t countsForSupplyMv(double mv);                  // 11 v(r) + 650
std::uint16_t countsForRatio(double mv, double fullScaleMv); // r * fullScale / 8184

} // namespace velmora::sim
