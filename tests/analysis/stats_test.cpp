#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "analysis/map_stats.h"

namespace velmora::analysis {
namespace {

const std::array<int, MapSize> Rpms{1000, 2000, 3000, 4000, 6000, 8000, 10000, 12000, 14000, 16000};
constexpr double Step = 0.125; // exact in binary, so window edges are exact too

EngineSample warm(int i, int rpm, int tps, int lambda) {
    EngineSample s;
    s.timeMs = static_cast<std::uint64_t>(i) * 125;
    s.rpm = rpm;
    s.throttle = tps;
    s.lambdaMv = lambda;
    s.waterC = 80;
    s.injectionUs = 3000;
    return s;
}

// The hand calculation: 11 samples at 2250 rpm and 5 % throttle (row 2, a quarter of the way
// from column 1 to column 2). The throttle is known steady from 0.5 s on; each lambda reading
// goes to the point two samples earlier (0.15 s), so readings 6 to 10 count.
TEST(Statistics, MatchesAHandCalculation) {
    MapStatistics st;
    const int lambda[11] = {900, 900, 900, 900, 900, 900, 700, 300, 600, 450, 200};
    for (int i = 0; i <= 10; ++i) st.add(warm(i, 2250, 5, lambda[i]), Rpms);
    EXPECT_EQ(st.samplesSeen(), 11u);
    EXPECT_EQ(st.samplesCounted(), 5u);
    const CellStats& a = st.cell(2, 1);
    const CellStats& b = st.cell(2, 2);
    EXPECT_DOUBLE_EQ(a.samples, 5 * 0.75);
    EXPECT_DOUBLE_EQ(b.samples, 5 * 0.25);
    EXPECT_DOUBLE_EQ(a.seconds, 5 * Step * 0.75);
    EXPECT_DOUBLE_EQ(b.seconds, 5 * Step * 0.25);
    // (700 + 300 + 600 + 450 + 200) / 5; 450 is neither rich nor lean.
    EXPECT_DOUBLE_EQ(a.meanLambda(), 450.0);
    EXPECT_DOUBLE_EQ(b.meanLambda(), 450.0);
    EXPECT_DOUBLE_EQ(a.richShare(), 0.4);
    EXPECT_DOUBLE_EQ(a.leanShare(), 0.4);
    double others = 0;
    for (int r = 0; r < MapSize; ++r)
        for (int c = 0; c < MapSize; ++c)
            if (!(r == 2 && (c == 1 || c == 2))) others += st.cell(r, c).samples;
    EXPECT_EQ(others, 0.0);
    // After a reset nothing of the first ride is left, the recent samples for the delay and the
    // throttle's rate included: the same ride gives the same figures again.
    st.reset();
    EXPECT_EQ(st.cell(2, 1).samples, 0.0);
    EXPECT_EQ(st.samplesSeen(), 0u);
    for (int i = 0; i <= 10; ++i) st.add(warm(i, 2250, 5, lambda[i]), Rpms);
    EXPECT_EQ(st.samplesCounted(), 5u);
    EXPECT_DOUBLE_EQ(st.cell(2, 1).samples, 5 * 0.75);
    EXPECT_DOUBLE_EQ(st.cell(2, 1).meanLambda(), 450.0);
}

// The speed jumps from column 1 to column 3 after sample 8; the probe turns lean two samples
// later, as the exhaust of the new point reaches it. With the delay both columns read clean.
TEST(Statistics, LambdaGoesToThePointOfTheTransportDelayEarlier) {
    MapStatistics st;
    for (int i = 0; i <= 20; ++i)
        st.add(warm(i, i <= 8 ? 2000 : 4000, 10, i <= 10 ? 800 : 200), Rpms);
    EXPECT_DOUBLE_EQ(st.cell(3, 1).samples, 5);  // points 4..8
    EXPECT_DOUBLE_EQ(st.cell(3, 3).samples, 10); // points 9..18
    EXPECT_DOUBLE_EQ(st.cell(3, 1).richShare(), 1.0);
    EXPECT_DOUBLE_EQ(st.cell(3, 3).leanShare(), 1.0);
}

double countedWith(const std::function<void(EngineSample&)>& change, StatsSettings set = {}) {
    MapStatistics st(set);
    for (int i = 0; i < 24; ++i) {
        EngineSample s = warm(i, 5000, 20, 500);
        change(s);
        st.add(s, Rpms);
    }
    return static_cast<double>(st.samplesCounted());
}

TEST(Statistics, FiltersKeepOutEveryUnsteadyOrFaultySample) {
    const double base = countedWith([](EngineSample&) {});
    ASSERT_EQ(base, 24 - 6); // readings 6..23
    struct Case {
        const char* what;
        std::function<void(EngineSample&)> change;
        bool counts;
    };
    const Case cases[] = {
        {"engine stopped", [](EngineSample& s) { s.rpm = 0; }, false},
        {"water 69 C", [](EngineSample& s) { s.waterC = 69; }, false},
        {"water 70 C", [](EngineSample& s) { s.waterC = 70; }, true},
        {"water sensor fault", [](EngineSample& s) { s.waterFault = true; }, false},
        {"start limiter", [](EngineSample& s) { s.startLimiter = true; }, false},
        {"blocking", [](EngineSample& s) { s.blocking = true; }, false},
        {"no injection", [](EngineSample& s) { s.injectionUs = 0; }, false},
        {"throttle fault", [](EngineSample& s) { s.throttle = 101; }, false},
        // Idle below the first speed point and revs above the last count in the edge column.
        {"speed below the map", [](EngineSample& s) { s.rpm = 900; }, true},
        {"speed above the map", [](EngineSample& s) { s.rpm = 17000; }, true},
        {"throttle 8 %/s", [](EngineSample& s) { s.throttle = static_cast<int>(s.time() * 8); },
         true},
        {"throttle 16 %/s", [](EngineSample& s) { s.throttle = static_cast<int>(s.time() * 16); },
         false},
        {"throttle closing 16 %/s",
         [](EngineSample& s) { s.throttle = 60 - static_cast<int>(s.time() * 16); }, false},
    };
    for (const Case& c : cases) EXPECT_EQ(countedWith(c.change) == base, c.counts) << c.what;
    // The thresholds are settings: at 8 %/s the rate must stay below 8 to count.
    StatsSettings strict;
    strict.maxThrottleRate = 8.0;
    EXPECT_EQ(
        countedWith([](EngineSample& s) { s.throttle = static_cast<int>(s.time() * 8); }, strict),
        0);
    strict = {};
    strict.minWaterC = 90;
    EXPECT_EQ(countedWith([](EngineSample&) {}, strict), 0);
}

TEST(Statistics, APauseInTheDataCountsAtMostMaxGap) {
    MapStatistics st;
    for (int i = 0; i <= 10; ++i) st.add(warm(i, 2000, 10, 500), Rpms);
    const double before = st.cell(3, 1).seconds;
    // A one-minute pause: the next reading has no operating point close enough before it.
    st.add(warm(490, 2000, 10, 500), Rpms);
    EXPECT_DOUBLE_EQ(st.cell(3, 1).seconds, before);
    // A log that starts again earlier (another recording) starts a new history.
    st.add(warm(0, 2000, 10, 500), Rpms);
    EXPECT_DOUBLE_EQ(st.cell(3, 1).seconds, before);
}

// Each threshold of the settings file is taken only within its range; a value outside it keeps
// the default and names its key.
TEST(Statistics, SettingsOutsideTheirRangeKeepTheDefaultAndAreNamed) {
    const StatsSettings d;
    const struct {
        const char* key;
        int value;
        bool taken;
        std::function<double(const StatsSettings&)> field;
    } cases[] = {
        {"SwitchPointMv", INT32_MIN, false, [](auto& s) { return s.switchPointMv; }},
        {"SwitchPointMv", 0, false, [](auto& s) { return s.switchPointMv; }},
        {"SwitchPointMv", 600, true, [](auto& s) { return s.switchPointMv; }},
        {"MinRpm", -1, false, [](auto& s) { return s.minRpm; }},
        {"MinWaterC", 1000, false, [](auto& s) { return s.minWaterC; }},
        {"MinWaterC", -10, true, [](auto& s) { return s.minWaterC; }},
        {"MaxThrottleRate", 0, false, [](auto& s) { return s.maxThrottleRate; }},
        {"RateWindowMs", INT32_MAX, false, [](auto& s) { return s.rateWindow * 1000; }},
        {"RateWindowMs", 250, true, [](auto& s) { return s.rateWindow * 1000; }},
        {"TransportDelayMs", -150, false, [](auto& s) { return s.transportDelay * 1000; }},
        {"MinSamples", 0, false, [](auto& s) { return s.minSamples; }},
        {"MaxStepPercent", 21, false, [](auto& s) { return s.maxStepPercent; }},
        {"MaxStepPercent", 10, true, [](auto& s) { return s.maxStepPercent; }},
    };
    for (const auto& c : cases) {
        std::vector<std::string> refused;
        const StatsSettings s = readStatsSettings(
            [&](const char* key, int def) { return std::string(key) == c.key ? c.value : def; },
            &refused);
        EXPECT_DOUBLE_EQ(c.field(s), c.taken ? c.value : c.field(d)) << c.key << " " << c.value;
        EXPECT_EQ(refused, c.taken ? std::vector<std::string>{} : std::vector<std::string>{c.key})
            << c.key << " " << c.value;
    }
}

TEST(Suggestions, BoundedDirectedAndOnlyWhereTheProbeCanTell) {
    std::mt19937 rng(14);
    std::uniform_real_distribution<double> u(0, 1);
    StatsSettings set;
    for (int round = 0; round < 200; ++round) {
        CellGrid g{};
        std::array<std::uint8_t, 100> map{};
        for (int r = 0; r < MapSize; ++r) {
            for (int c = 0; c < MapSize; ++c) {
                CellStats& s = g[r][c];
                s.samples = u(rng) * 100;
                s.rich = s.samples * u(rng);
                s.lean = (s.samples - s.rich) * u(rng);
                map[10 * r + c] = static_cast<std::uint8_t>(5 + u(rng) * 245);
            }
        }
        const SuggestionGrid out = suggest(g, map, set);
        for (int r = 0; r < MapSize; ++r) {
            for (int c = 0; c < MapSize; ++c) {
                const CellSuggestion& s = out[r][c];
                const int v = map[10 * r + c];
                const double d = g[r][c].leanShare() - g[r][c].richShare();
                if (r >= 7) {
                    EXPECT_EQ(s.kind, Suggestion::NeedsWideBand);
                } else if (g[r][c].samples < 50) {
                    EXPECT_EQ(s.kind, Suggestion::None);
                } else if (std::abs(d) < 0.2) {
                    EXPECT_EQ(s.kind, Suggestion::Balanced);
                } else {
                    EXPECT_EQ(s.kind, d > 0 ? Suggestion::MoreFuel : Suggestion::LessFuel);
                    // The previewed change is the one applied, and within the bound.
                    EXPECT_NEAR(s.percent, 100.0 * (s.value - v) / v, 1e-9);
                    EXPECT_LE(std::abs(s.value - v), v * 0.05 + 1e-9);
                    EXPECT_TRUE(d > 0 ? s.value >= v : s.value <= v);
                    EXPECT_GE(s.value, 5);
                    EXPECT_LE(s.value, 250);
                    continue;
                }
                EXPECT_EQ(s.value, v);
            }
        }
    }
}

// Rounding goes towards no change: +5 % on 50 is 52 (+4 %), never 53 (+6 %).
TEST(Suggestions, RoundedTowardsNoChange) {
    const struct {
        int value;
        bool lean;
        int expected;
    } cases[] = {{50, true, 52},   {50, false, 48}, {95, false, 91},  {100, true, 105},
                 {100, false, 95}, {5, false, 5},   {250, true, 250}, {11, true, 11},
                 {249, true, 250}, {21, false, 20}};
    for (const auto& k : cases) {
        CellGrid g{};
        g[1][1] = k.lean ? CellStats{60, 0, 0, 0, 60} : CellStats{60, 0, 0, 60, 0};
        std::array<std::uint8_t, 100> map{};
        map.fill(100);
        map[11] = static_cast<std::uint8_t>(k.value);
        const CellSuggestion s = suggest(g, map, {})[1][1];
        EXPECT_EQ(s.value, k.expected) << k.value;
        EXPECT_NEAR(s.percent, 100.0 * (k.expected - k.value) / k.value, 1e-9) << k.value;
    }
}

TEST(Suggestions, FullyLeanOrRichMovesTheWholeStep) {
    CellGrid g{};
    g[0][0] = {50, 0, 0, 0, 50};     // all lean
    g[6][9] = {80, 0, 0, 80, 0};     // all rich
    g[3][3] = {49.9, 0, 0, 0, 49.9}; // one sample short
    std::array<std::uint8_t, 100> map{};
    map.fill(100);
    const SuggestionGrid out = suggest(g, map, {});
    EXPECT_EQ(out[0][0].value, 105);
    EXPECT_EQ(out[6][9].value, 95);
    EXPECT_EQ(out[3][3].kind, Suggestion::None);
    EXPECT_EQ(out[3][3].value, 100);
}

} // namespace
} // namespace velmora::analysis
