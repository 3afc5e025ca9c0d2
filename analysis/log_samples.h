// Engine samples from a recorded data log, for the map statistics.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "analysis/map_stats.h"
#include "log/mlg.h"

namespace velmora::analysis {

// The log channels the statistics need.
extern const std::array<const char*, 8> LogChannelsNeeded;

struct LogAnalysis {
    std::vector<std::string> missing; // needed channels the log lacks; nothing analysed then
    std::size_t records = 0;
    bool ok() const { return missing.empty(); }
};

// Adds every record of `data` to `stats`, in the order of the log.
LogAnalysis analyseLog(const log::LogData& data, MapStatistics& stats,
                       const std::array<int, MapSize>& rpms);

} // namespace velmora::analysis
