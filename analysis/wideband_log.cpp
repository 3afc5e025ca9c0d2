#include "analysis/wideband_log.h"

#include <algorithm>
#include <cmath>

namespace velmora::analysis {

bool addWidebandLog(const log::LogData& data, WidebandCorrection& correction,
                    const std::array<int, MapSize>& rpms, const LogRange& range,
                    const std::vector<log::ContextEntry>& recorded) {
    const int lambda = data.fieldIndex("Lambda");
    if (lambda < 0 || data.fieldIndex("O2 mV") < 0) return false;
    // A log recorded without a controller holds the channel, but no reading in it.
    const auto& lambdas = data.columns[static_cast<std::size_t>(lambda)];
    if (std::none_of(lambdas.begin(), lambdas.end(), [](float v) { return std::isfinite(v); }))
        return false;
    return forEachLogSample(data, rpms, range, recorded,
                            [&](const EngineSample& s, const std::array<int, MapSize>& axis) {
                                correction.add(s, axis);
                            })
        .empty();
}

} // namespace velmora::analysis
