// The small data log of the hand calculation, shared by the core and window tests: 11 records
// 125 ms apart at 2250 rpm and 5 % throttle, warm, injecting; readings 6 to 10 count.
#pragma once

#include <cstdint>
#include <string>

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

} // namespace velmora::testlog
