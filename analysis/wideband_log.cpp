#include "analysis/wideband_log.h"

#include <algorithm>
#include <cmath>

namespace velmora::analysis {

bool addWidebandLog(const log::LogData& data, WidebandCorrection& correction,
                    const std::array<int, MapSize>& rpms, const LogRange& range,
                    const std::vector<log::ContextEntry>& recorded) {
    static constexpr std::array<const char*, 9> Needed{
        "RPM", "TPS", "PW", "CLT", "CLT fault", "Start limiter", "Blocking", "O2 mV", "Lambda"};
    std::array<int, Needed.size()> field{};
    for (std::size_t i = 0; i < Needed.size(); ++i) {
        field[i] = data.fieldIndex(Needed[i]);
        if (field[i] < 0) return false;
    }
    const auto column = [&](std::size_t i) -> const auto& {
        return data.columns[static_cast<std::size_t>(field[i])];
    };
    // A log recorded without a controller holds the channel, but no reading in it.
    const auto& lambdas = column(8);
    if (std::none_of(lambdas.begin(), lambdas.end(), [](float v) { return std::isfinite(v); }))
        return false;
    // The reading's age at the record: one reading joined to several records counts once.
    const int ageField = data.fieldIndex("WB age");
    std::size_t entry = 0;
    for (std::size_t r = 0; r < data.records(); ++r) {
        if (!range.contains(data.time[r])) continue;
        const long long ms = std::llround(data.time[r] * 1000.0);
        while (entry + 1 < recorded.size() && recorded[entry + 1].timeMs <= ms) ++entry;
        EngineSample s;
        s.timeMs = static_cast<std::uint64_t>(std::max(ms, 0LL));
        s.rpm = static_cast<int>(std::lround(column(0)[r]));
        s.throttle = static_cast<int>(std::lround(column(1)[r]));
        s.injectionUs = static_cast<int>(std::lround(column(2)[r] * 1000.0f));
        s.waterC = static_cast<int>(std::lround(column(3)[r]));
        s.waterFault = column(4)[r] != 0.0f;
        s.startLimiter = column(5)[r] != 0.0f;
        s.blocking = column(6)[r] != 0.0f;
        s.widebandConnected = true;
        // A missing reading is logged as no number, never as 0.
        const float lambda = column(8)[r];
        const float age =
            ageField >= 0 ? data.columns[static_cast<std::size_t>(ageField)][r] : 0.0f;
        if (std::isfinite(lambda) && lambda > 0.0f && std::isfinite(age) && age >= 0.0f) {
            s.widebandState = WidebandState::Ok;
            s.widebandLambda = lambda;
            s.widebandAgeMs = static_cast<std::uint32_t>(std::lround(age));
        }
        correction.add(s, recorded.empty() ? rpms : recorded[entry].context.rpms);
    }
    return true;
}

} // namespace velmora::analysis
