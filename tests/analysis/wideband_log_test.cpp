// A recorded log's wide-band readings reach the correction as the live ones would: each reading
// once however many records carry it, a gap never as a lambda, older logs not at all.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "analysis/wideband_log.h"

using namespace velmora;
using namespace velmora::analysis;

namespace {

// 120 records 50 ms apart, steady at 3000 rpm and 10 % throttle; a reading every third record
// (its age 0, 50, 100 ms) for the first `silentFrom`, then the controller silent.
log::LogData ride(const std::vector<std::string>& names, int silentFrom = 90) {
    log::LogData d;
    for (const std::string& n : names) d.fields.push_back({n, "", 0, 0, 1.0f, 0.0f, 0});
    d.columns.resize(names.size());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int i = 0; i < 120; ++i) {
        d.time.push_back(0.05 * i);
        for (std::size_t f = 0; f < names.size(); ++f) {
            const std::string& n = names[f];
            const float v = n == "RPM"      ? 3000.0f
                            : n == "TPS"    ? 10.0f
                            : n == "PW"     ? 3.0f
                            : n == "CLT"    ? 80.0f
                            : n == "O2 mV"  ? 450.0f
                            : n == "Lambda" ? (i < silentFrom ? 1.03f : nan)
                            : n == "WB age" ? (i < silentFrom ? 50.0f * (i % 3) : nan)
                                            : 0.0f;
            d.columns[f].push_back(v);
        }
    }
    return d;
}

} // namespace

TEST(WidebandLog, EachReadingOnceAndGapsNeverAsLambda) {
    const std::vector<std::string> all{"RPM",           "TPS",      "PW",    "CLT",    "CLT fault",
                                       "Start limiter", "Blocking", "O2 mV", "Lambda", "WB age"};
    std::vector<std::string> older = all; // "Lambda" was the probe voltage, without "O2 mV"
    older.erase(older.begin() + 7);
    older.pop_back();
    struct Case {
        const char* what;
        std::vector<std::string> channels;
        log::LogRange range;
        int silentFrom;
        bool read;
        std::size_t samples;
        std::uint64_t readings;
    };
    const Case cases[] = {
        {"whole log", all, {}, 90, true, 120, 30},
        {"first three seconds", all, {0.0, 2.975}, 90, true, 60, 20},
        {"older log", older, {}, 90, false, 0, 0},
        {"no controller", all, {}, 0, false, 0, 0},
    };
    std::array<int, MapSize> rpms{};
    for (int k = 0; k < MapSize; ++k) rpms[static_cast<std::size_t>(k)] = 1000 * (k + 1);
    for (const Case& c : cases) {
        WidebandCorrection w;
        EXPECT_EQ(addWidebandLog(ride(c.channels, c.silentFrom), w, rpms, c.range), c.read)
            << c.what;
        EXPECT_EQ(w.samplesSeen(), c.samples) << c.what;
        EXPECT_EQ(w.exclusions().readings, c.readings) << c.what;
        EXPECT_EQ(w.exclusions().noLambda, 0u) << c.what; // the silent stretch is no reading
    }
}
