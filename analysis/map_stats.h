// Per-cell statistics of the injection map from live data or a log, and the stoichiometric
// helper built on them.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/map_geometry.h"
#include "link/engine_sample.h"

namespace velmora::analysis {

// A monitor frame's sample, or one filled from a log record.
using velmora::EngineSample;

// The thresholds of the filters and of the helper. Kept in the settings file.
struct StatsSettings {
    int switchPointMv = 450;       // the probe's rich/lean switch point
    int minRpm = 0;                // samples count above this speed
    int minWaterC = 70;            // and from this water temperature
    double maxThrottleRate = 10.0; // %/s: steadier throttle than this ...
    double rateWindow = 0.5;       // ... over this many seconds before the sample
    double transportDelay = 0.15;  // s from the operating point to its lambda reading
    double maxGap = 0.5;           // s; a longer pause in the data counts as this long
    double minSamples = 50.0;      // weighted samples a cell needs for a suggestion
    double maxStepPercent = 5.0;   // largest suggested change per pass
    double balancedBand = 0.2;     // |lean share - rich share| below this: balanced
    int lastHelperRow = 6;         // rows above need a wide-band probe
};

// The thresholds as the settings file holds them, in whole units (ms for times). A value
// outside its key's range is refused: the default stays and the key is named in `refused`.
StatsSettings readStatsSettings(const std::function<int(const char* key, int def)>& read,
                                std::vector<std::string>* refused);

struct CellStats {
    double samples = 0.0; // sum of bilinear weights
    double seconds = 0.0; // weighted time spent in the cell
    double lambdaSum = 0.0;
    double rich = 0.0, lean = 0.0; // weights of samples above and below the switch point

    double meanLambda() const { return samples > 0 ? lambdaSum / samples : 0.0; }
    double richShare() const { return samples > 0 ? rich / samples : 0.0; }
    double leanShare() const { return samples > 0 ? lean / samples : 0.0; }
};

using CellGrid = std::array<std::array<CellStats, MapSize>, MapSize>;

// Takes samples in time order. A lambda reading is credited to the operating point of
// transportDelay earlier, when that point passed every filter: engine running, warm, neither
// limiter nor blocking, injecting, and the throttle steady over rateWindow.
class MapStatistics {
public:
    explicit MapStatistics(StatsSettings settings = {}) : settings_(settings) {}

    // `rpms`: the speed axis the engine ran on at the sample's moment.
    void add(const EngineSample& s, const std::array<int, MapSize>& rpms);
    void reset();

    const CellGrid& cells() const { return cells_; }
    const CellStats& cell(int row, int col) const {
        return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
    }
    const StatsSettings& settings() const { return settings_; }
    void setSettings(const StatsSettings& s);

    // What the helper may still act on: the statistics gathered since they were last applied.
    // Once applied, samples describe a map that is no longer there, so they never move a cell
    // twice.
    CellGrid unusedCells() const;
    void markUsed();
    // Whether samples counted since the last markUsed (or reset) are waiting.
    bool hasUnusedSamples() const { return counted_ > countedAtUse_; }
    std::uint64_t samplesSeen() const { return seen_; }
    std::uint64_t samplesCounted() const { return counted_; }

private:
    bool passes(const EngineSample& s) const;
    bool throttleSteady(double time) const;

    StatsSettings settings_;
    CellGrid cells_{};
    CellGrid used_{};
    std::uint64_t countedAtUse_ = 0;
    // What the filters need of a sample, with the speed axis of its moment by which its
    // operating point is placed.
    struct Recent {
        double time;
        int rpm, throttle;
        bool passes;
        std::array<int, MapSize> rpms;
    };
    std::deque<Recent> recent_; // enough history for the delay and the rate window
    // Far more than the delay and the window hold at any real frame rate.
    static constexpr std::size_t MaxRecent = 512;
    std::optional<double> lastLambdaTime_;
    std::uint64_t seen_ = 0, counted_ = 0;
};

enum class Suggestion : std::uint8_t {
    None,         // too few samples
    Balanced,     // no change
    MoreFuel,     // mostly lean
    LessFuel,     // mostly rich
    NeedsWideBand // a row the narrow-band probe cannot judge
};

struct CellSuggestion {
    Suggestion kind = Suggestion::None;
    double percent = 0.0; // the change of `value` from the present one, within +-maxStepPercent
    int value = 0;        // the suggested cell value (the present one when unchanged)
};

using SuggestionGrid = std::array<std::array<CellSuggestion, MapSize>, MapSize>;

// Suggestions for every cell of `map` (cells row by row) from the statistics. A new value is
// rounded towards the present one, so the whole-percent cell never moves beyond the bound.
SuggestionGrid suggest(const CellGrid& stats, const std::array<std::uint8_t, 100>& map,
                       const StatsSettings& settings);

} // namespace velmora::analysis
