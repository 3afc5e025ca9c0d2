// The small data log of the hand calculation, shared by the core and window tests: 11 records
// 125 ms apart at 2250 rpm and 5 % throttle, warm, injecting; readings 6 to 10 count. Also
// logs of any channels built from rows of values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "log/mlg.h"

namespace velmora::testlog {

inline std::string craftedLog() {
    std::string bytes = log::mlgHeader(0, "crafted");
    const int lambda[11] = {900, 900, 900, 900, 900, 900, 700, 300, 600, 450, 200};
    for (int i = 0; i <= 10; ++i) {
        log::Record r{};
        r[log::Time] = 125 * i;
        r[log::Rpm] = 2250;
        r[log::Tps] = 5;
        r[log::Lambda] = lambda[i];
        r[log::InjectionTime] = 3000;
        r[log::Clt] = 80;
        log::appendRecordBlock(bytes, static_cast<std::uint8_t>(i), r);
    }
    return bytes;
}

// A log of the given channels, one row per record: its time first, then one value per channel.
inline log::LogData logOf(const std::vector<std::string>& names,
                          const std::vector<std::vector<double>>& records,
                          const std::vector<double>& markerTimes = {}) {
    log::LogData d;
    d.columns.resize(names.size());
    for (const std::string& n : names) d.fields.push_back({n, "", 0, 0, 1.0f, 0.0f, 0});
    for (const std::vector<double>& r : records) {
        d.time.push_back(r[0]);
        for (std::size_t c = 0; c < names.size(); ++c)
            d.columns[c].push_back(static_cast<float>(r[c + 1]));
    }
    for (const double t : markerTimes) d.markers.push_back({t, "Marker"});
    return d;
}

} // namespace velmora::testlog
