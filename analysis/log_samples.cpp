#include "analysis/log_samples.h"

#include <algorithm>
#include <cmath>

namespace velmora::analysis {

const std::array<const char*, 8> LogChannelsNeeded{"RPM", "TPS",       "O2 mV",         "PW",
                                                   "CLT", "CLT fault", "Start limiter", "Blocking"};

std::vector<std::string> forEachLogSample(const log::LogData& data,
                                          const std::array<int, MapSize>& rpms,
                                          const LogRange& range,
                                          const std::vector<log::ContextEntry>& recorded,
                                          const LogSampleVisitor& visit) {
    std::vector<std::string> missing;
    std::array<int, LogChannelsNeeded.size()> field{};
    for (std::size_t i = 0; i < LogChannelsNeeded.size(); ++i) {
        field[i] = data.fieldIndex(LogChannelsNeeded[i]);
        // Logs of earlier versions named the probe voltage "Lambda".
        if (field[i] < 0 && i == 2) field[i] = data.fieldIndex("Lambda");
        if (field[i] < 0) missing.emplace_back(LogChannelsNeeded[i]);
    }
    if (!missing.empty()) return missing;
    const auto column = [&](std::size_t i) -> const auto& {
        return data.columns[static_cast<std::size_t>(field[i])];
    };
    const auto& rpm = column(0);
    const auto& tps = column(1);
    const auto& lambda = column(2);
    const auto& pw = column(3);
    const auto& clt = column(4);
    const auto& cltFault = column(5);
    const auto& startLimiter = column(6);
    const auto& blocking = column(7);
    // "Lambda" is the wide-band reading only beside "O2 mV"; older logs named the probe so.
    const int widebandField = data.fieldIndex("O2 mV") >= 0 ? data.fieldIndex("Lambda") : -1;
    const int ageField = data.fieldIndex("WB age");
    // The entries are in time order; the one in force moves on with the records.
    std::size_t entry = 0;
    for (std::size_t r = 0; r < data.records(); ++r) {
        if (!range.keeps(r, data.time[r])) continue;
        const long long ms = std::llround(data.time[r] * 1000.0);
        while (entry + 1 < recorded.size() && recorded[entry + 1].timeMs <= ms) ++entry;
        EngineSample s;
        s.timeMs = static_cast<std::uint64_t>(std::llround(std::max(data.time[r], 0.0) * 1000.0));
        s.rpm = static_cast<int>(std::lround(rpm[r]));
        s.throttle = static_cast<int>(std::lround(tps[r]));
        s.lambdaMv = static_cast<int>(std::lround(lambda[r]));
        s.injectionUs = static_cast<int>(std::lround(pw[r] * 1000.0f));
        s.waterC = static_cast<int>(std::lround(clt[r]));
        s.waterFault = cltFault[r] != 0.0f;
        s.startLimiter = startLimiter[r] != 0.0f;
        s.blocking = blocking[r] != 0.0f;
        if (widebandField >= 0) {
            s.widebandConnected = true;
            // A missing reading is logged as no number, never as 0.
            const float wide = data.columns[static_cast<std::size_t>(widebandField)][r];
            const float age =
                ageField >= 0 ? data.columns[static_cast<std::size_t>(ageField)][r] : 0.0f;
            if (std::isfinite(wide) && wide > 0.0f && std::isfinite(age) && age >= 0.0f) {
                s.widebandState = WidebandState::Ok;
                s.widebandLambda = wide;
                s.widebandAgeMs = static_cast<std::uint32_t>(std::lround(age));
            }
        }
        visit(s, recorded.empty() ? rpms : recorded[entry].context.rpms);
    }
    return missing;
}

LogAnalysis analyseLog(const log::LogData& data, MapStatistics& stats,
                       const std::array<int, MapSize>& rpms, const LogRange& range,
                       const std::vector<log::ContextEntry>& recorded) {
    LogAnalysis out;
    out.recordedAxis = !recorded.empty();
    for (const log::ContextEntry& e : recorded) out.axisDiffers |= e.context.rpms != rpms;
    out.missing = forEachLogSample(data, rpms, range, recorded,
                                   [&](const EngineSample& s, const std::array<int, MapSize>& a) {
                                       stats.add(s, a);
                                       ++out.records;
                                   });
    return out;
}

} // namespace velmora::analysis
