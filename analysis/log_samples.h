// Engine samples from a recorded data log, for the map statistics.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/map_stats.h"
#include "log/log_context.h"
#include "log/mlg.h"

namespace velmora::analysis {

// The log channels the statistics need.
extern const std::array<const char*, 8> LogChannelsNeeded;

using log::LogRange;

struct LogAnalysis {
    std::vector<std::string> missing; // needed channels the log lacks; nothing analysed then
    std::size_t records = 0;
    bool recordedAxis = false; // the log kept its speed axis, and the samples went by it
    bool axisDiffers = false;  // ... and some of it differs from the axis given for today
    bool ok() const { return missing.empty(); }
};

// Each record of `data` within `range` (and kept by its filter, when it has one), in the order
// of the log, as the engine sample it was recorded from (the channels a log keeps, and the
// wide-band reading when the log holds one: "Lambda" beside "O2 mV"), with the speed axis the
// log was recorded with at its moment (`recorded`, the log's context) or `rpms` (today's) when
// the log kept none. Returns the needed channels the log lacks; nothing is visited then.
using LogSampleVisitor =
    std::function<void(const EngineSample& sample, const std::array<int, MapSize>& axis)>;
std::vector<std::string> forEachLogSample(const log::LogData& data,
                                          const std::array<int, MapSize>& rpms,
                                          const LogRange& range,
                                          const std::vector<log::ContextEntry>& recorded,
                                          const LogSampleVisitor& visit);

// Adds every record of `data` within `range` to `stats`, in the order of the log, each placed
// on the speed axis the log was recorded with at its moment (`recorded`, the log's context),
// or on `rpms` (today's) when the log kept none.
LogAnalysis analyseLog(const log::LogData& data, MapStatistics& stats,
                       const std::array<int, MapSize>& rpms, const LogRange& range = {},
                       const std::vector<log::ContextEntry>& recorded = {});

} // namespace velmora::analysis
