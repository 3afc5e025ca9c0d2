// Engine samples from a recorded data log, for the map statistics.
#pragma once

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/map_stats.h"
#include "log/mlg.h"

namespace velmora::analysis {

// The log channels the statistics need.
extern const std::array<const char*, 8> LogChannelsNeeded;

// A stretch of a log by its time, both ends included, in seconds.
struct LogRange {
    double from = -std::numeric_limits<double>::infinity();
    double to = std::numeric_limits<double>::infinity();
    bool contains(double t) const { return t >= from && t <= to; }
};

struct LogAnalysis {
    std::vector<std::string> missing; // needed channels the log lacks; nothing analysed then
    std::size_t records = 0;
    bool ok() const { return missing.empty(); }
};

// Adds every record of `data` within `range` to `stats`, in the order of the log, placed on
// the speed axis `rpms`.
LogAnalysis analyseLog(const log::LogData& data, MapStatistics& stats,
                       const std::array<int, MapSize>& rpms, const LogRange& range = {});

} // namespace velmora::analysis
