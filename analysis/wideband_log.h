// A recorded log's wide-band readings for the whole-map correction, as the live ones.
#pragma once

#include <array>
#include <vector>

#include "analysis/log_samples.h"
#include "analysis/wideband_correction.h"

namespace velmora::analysis {

// Adds every record within `range` to `correction`, each on the speed axis the log was
// recorded with at its moment (or `rpms`). False, and nothing added, when the log holds no
// wide-band lambda (recorded without a controller, or before logs had one): "Lambda" is
// lambda only beside "O2 mV", older logs named the probe voltage so.
bool addWidebandLog(const log::LogData& data, WidebandCorrection& correction,
                    const std::array<int, MapSize>& rpms, const LogRange& range = {},
                    const std::vector<log::ContextEntry>& recorded = {});

} // namespace velmora::analysis
