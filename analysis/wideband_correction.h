// Whole-map correction from a wide-band controller's readings: each reading is credited to the
// operating point whose exhaust it measured (the transport delay earlier, measured from the
// data per speed band), and a cell's suggestion is the cell times the weighted median of
// measured over target lambda, bounded per pass and against the map the session began with.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/map_geometry.h"
#include "link/engine_sample.h"

namespace velmora::analysis {

// Target lambda per map cell, rows and columns as the map's.
using TargetTable = std::array<std::array<double, MapSize>, MapSize>;
constexpr double MinTargetLambda = 0.6;
constexpr double MaxTargetLambda = 1.3;

// 1.00 at idle and light load, 0.95 at part throttle, richer towards full throttle (0.87).
TargetTable defaultTargets();
// Ten lines of ten numbers ('.' or ',' as the decimal mark, spaces, tabs or ';' between); the
// first fault is named by its line and number. Zero, or a value outside 0.6..1.3, is refused.
struct TargetParse {
    std::optional<TargetTable> table;
    std::string error; // English, for logs and tests; `fault` says which for messages
    enum class Fault { None, Rows, Columns, NotANumber, OutOfRange } fault = Fault::None;
    int row = -1, col = -1;
};
TargetParse parseTargets(const std::string& text);
// The same form, two decimals, '.' in every locale.
std::string formatTargets(const TargetTable& targets);

using LockGrid = std::array<std::array<bool, MapSize>, MapSize>;
using MapCells = std::array<std::uint8_t, 100>; // row by row, as JET0_0..JET9_9

struct CorrectionSettings {
    double maxStepPercent = 5.0;   // per cell and pass
    double maxTotalPercent = 20.0; // per cell, against the map the tuning session began with
    double minSamples = 20.0;      // weighted readings a cell needs for a suggestion
    int minWaterC = 70;
    double minLambda = 0.6, maxLambda = 1.6; // readings outside say nothing reliable
    int accelerationThreshold = 300;         // %/s: the calibration's AKCEL_PRAH
    double settleSeconds = 0.3; // the throttle must have been calm this long before the point
    double delayFloor = 0.05, delayCeiling = 0.6; // s: the measured delay stays within
    double assumedDelay = 0.2; // s at 3000 rpm, until a band has enough steps to measure
};

// Why a cell has no suggestion, or that it has one.
enum class CellReason : std::uint8_t {
    Suggested,  // value differs from the present one
    OnTarget,   // the change would round to nothing
    Locked,     // the user locked the cell
    NoSamples,  // no usable reading fell on it
    FewSamples, // fewer than minSamples
    Between,    // enough readings, but mostly nearer other cells: they measure a blend
    AtLimit,    // the session bound allows no further change in that direction
};

struct CellCorrection {
    CellReason reason = CellReason::NoSamples;
    double samples = 0.0;     // sum of bilinear weights
    int readings = 0;         // readings that touched the cell
    double medianLambda = 0;  // weighted median of measured lambda
    double medianRatio = 0;   // weighted median of measured / target
    double spreadPercent = 0; // interquartile range of that ratio, in percent
    int present = 0, value = 0;
    double percent = 0.0; // value against present
};
using CorrectionGrid = std::array<std::array<CellCorrection, MapSize>, MapSize>;

// What was left out and why, over the readings since the last markUsed().
struct Exclusions {
    std::uint64_t readings = 0; // distinct readings seen
    std::uint64_t used = 0;
    std::uint64_t noLambda = 0;  // warm-up, error, too old, out of the sensor range
    std::uint64_t fuelCut = 0;   // no injection at the operating point
    std::uint64_t transient = 0; // throttle faster than the acceleration threshold
    std::uint64_t cold = 0;      // water below minWaterC or its sensor faulty
    std::uint64_t limiter = 0;   // start limiter or blocking
    std::uint64_t offMap = 0;    // no operating point (no speed, throttle fault, no data)
};

// One speed band of the transport-delay measurement.
struct DelayBand {
    int fromRpm = 0, toRpm = 0;
    int atRpm = 0;                 // the speed the delay is given for
    std::optional<double> seconds; // measured; nothing until enough steps were seen
    int steps = 0;                 // injection steps that carried the measurement
};

class WidebandCorrection {
public:
    explicit WidebandCorrection(CorrectionSettings settings = {});

    // Samples in time order (live or from a log); `rpms` is the speed axis of the moment.
    void add(const EngineSample& sample, const std::array<int, MapSize>& rpms);
    void reset();
    const CorrectionSettings& settings() const { return settings_; }
    void setSettings(const CorrectionSettings& s);

    // The transport delay per speed band, measured from every sample added.
    const std::vector<DelayBand>& delays() const;
    // The delay used at a speed: the band's measurement, else the assumed one.
    double delayAt(double rpm) const;

    // Suggestions from the readings since the last markUsed(). `map` is the present map,
    // `sessionStart` the map when the tuning session began. With `why`, the readings are also
    // counted by what kept them out, in the same pass (as exclusions() counts them).
    CorrectionGrid suggest(const MapCells& map, const MapCells& sessionStart,
                           const TargetTable& targets, const LockGrid& locks,
                           Exclusions* why = nullptr) const;
    Exclusions exclusions() const;
    // Readings so far describe a map that is about to change: they never move a cell twice.
    void markUsed();
    bool hasUnusedReadings() const;
    std::size_t samplesSeen() const { return points_.size(); }

private:
    struct Point {
        double time;         // s
        double readingTime;  // s, arrival of the joined reading; negative: none
        double lambda;       // joined lambda, or 0 when none (never used then)
        float rpm, throttle; // throttle negative on a sensor fault
        float injectionUs;
        bool warm, limiter;
        std::uint8_t axis; // index into axes_
    };
    struct Usable {
        double lambda, opRpm, opThrottle;
        int axis;
    };
    std::optional<Usable> judge(std::size_t reading, Exclusions* why) const;
    double interpolate(double time, float Point::*field) const;
    std::size_t pointAtOrBefore(double time) const;
    void measureDelays() const;

    CorrectionSettings settings_;
    std::vector<Point> points_;
    std::vector<std::size_t> readings_; // indices of points that carry a new reading
    std::vector<std::array<int, MapSize>> axes_;
    std::size_t usedUpTo_ = 0; // readings_ before this index are used
    mutable std::vector<DelayBand> delays_;
    mutable bool delaysStale_ = true;
    // The answers found so far per band, and the first sample whose step is not judged yet
    // (its answer may still come): each step is judged once, however often delays are asked.
    mutable std::vector<std::vector<double>> answers_;
    mutable std::size_t judgedUpTo_ = 1;
};

} // namespace velmora::analysis
