#include "sim/engine.h"

#include "tests/common/calibrations.h"

#include <gtest/gtest.h>

namespace velmora::sim {
namespace {

int value16(const Frame& f, std::size_t at) {
    return 256 * f[at] + f[at + 1];
}

TEST(Engine, SameSeedGivesTheSameFramesAndAnotherSeedDiffers) {
    const Calibration cal = common::clampedDefaultsOf(6);
    Engine a(7), b(7), c(8);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        const Frame fa = a.nextFrame(0.1, cal, 3);
        ASSERT_EQ(fa, b.nextFrame(0.1, cal, 3)) << "frame " << i;
        differs = differs || fa != c.nextFrame(0.1, cal, 3);
    }
    EXPECT_TRUE(differs);
}

TEST(Engine, FramesTakeTurnsAndCarryAValidCheckByte) {
    const Calibration cal = common::clampedDefaultsOf(6);
    Engine e(1);
    for (int i = 0; i < 30; ++i) {
        const Frame f = e.nextFrame(0.1, cal, 0);
        EXPECT_EQ(f[0], 0xB0 + i % 3);
        EXPECT_TRUE(checkOk(f));
    }
}

// Two rounds of the scenario show every switch and the warm-up, within the sensor ranges the
// tuner treats as valid.
TEST(Engine, ScenarioShowsEverySwitchAndStaysInValidRanges) {
    Calibration cal = common::clampedDefaultsOf(6);
    cal[GasEnable] = 1;
    cal[CHLAZENI] = 0;
    Engine e(3, 20.0);
    std::uint8_t seenSet = 0, seenClear = 0;
    double maxRpm = 0, minWater = 200, maxWater = -100;
    for (int i = 0; i < static_cast<int>(2 * ScenarioSeconds / 0.05); ++i) {
        const Frame f = e.nextFrame(0.05, cal, 12);
        const EngineState& s = e.state();
        maxRpm = std::max(maxRpm, s.rpm);
        minWater = std::min(minWater, s.waterC);
        maxWater = std::max(maxWater, s.waterC);
        const int iap = value16(f, 3);
        EXPECT_GE(iap, 842);
        EXPECT_LE(iap, 8049);
        if (f[0] == 0xB0) {
            EXPECT_GE(value16(f, 11), 842);
            EXPECT_LE(value16(f, 11), 8049);
        }
        if (f[0] == 0xB1) {
            seenSet |= f[11];
            seenClear |= static_cast<std::uint8_t>(~f[11]);
            EXPECT_EQ(value16(f, 15), 12);
            EXPECT_LE(f[12], cal[AdvanceMax]);
        }
        if (f[0] == 0xB2) {
            EXPECT_LE(f[11], 100);
            EXPECT_NE(f[13], 0) << "no sensor fault in the scenario";
        }
    }
    EXPECT_EQ(seenSet, 0xFF) << std::hex << int(seenSet);
    EXPECT_EQ(seenClear, 0xFF) << std::hex << int(seenClear);
    EXPECT_LE(maxRpm, cal[Omez2] * 100.0 + 40.0);
    EXPECT_GT(maxRpm, cal[Omez2] * 100.0 - 150.0);
    EXPECT_LT(minWater, 25.0);
    EXPECT_GT(maxWater, 40.0);
}

// Two hours of the ride at a time step 60 times the tick: the engine warms up, idles,
// cruises and pulls to the limiter, and never leaves the ranges the decoder reads.
TEST(Engine, ALongRideCoversEveryLegAndStaysInRange) {
    const Calibration cal = common::clampedDefaultsOf(6);
    Engine e(3, 20.0, true);
    double maxRpm = 0, minRpmAfterWarmUp = 1e9, maxThrottle = 0, seconds = 0;
    int steadyCruise = 0;
    while (seconds < 7200) {
        e.nextFrame(3.3, cal, 0);
        seconds += 3.3;
        const EngineState& s = e.state();
        ASSERT_GE(s.rpm, 0.0);
        ASSERT_LE(s.throttle, 100.0);
        if (seconds > 120) minRpmAfterWarmUp = std::min(minRpmAfterWarmUp, s.rpm);
        maxRpm = std::max(maxRpm, s.rpm);
        maxThrottle = std::max(maxThrottle, s.throttle);
        if (s.throttle > 20 && s.throttle < 70) ++steadyCruise;
    }
    EXPECT_GT(e.state().waterC, 70.0);
    EXPECT_LT(minRpmAfterWarmUp, 1500.0); // stops at idle
    EXPECT_GT(maxRpm, 8000.0);            // pulls towards the limiter
    EXPECT_EQ(maxThrottle, 100.0);
    EXPECT_GT(steadyCruise, 500);
}

TEST(Engine, AdvanceFollowsTheCalibratedCurve) {
    Calibration cal = common::clampedDefaultsOf(6);
    for (int i = 0; i < 10; ++i) {
        cal[at(RpmAdv1, i)] = static_cast<std::uint8_t>(10 + 10 * i);
        cal[at(Advance1, i)] = 25;
    }
    cal[AdvanceMax] = 40;
    Engine e(1);
    for (int i = 0; i < 300; ++i) {
        const Frame f = e.nextFrame(0.1, cal, 0);
        if (f[0] == 0xB1) {
            EXPECT_EQ(cal[AdvanceMax] - f[12], 25);
        }
    }
}

// The decoder floors r * 2430 / 8184; the counts chosen must come back as the value asked for.
TEST(Engine, CountsDecodeBackToTheMillivoltsAskedFor) {
    for (int mv = 0; mv <= 2430; ++mv) {
        EXPECT_EQ(countsForSensorMv(mv) * 2430 / 8184, mv);
        EXPECT_EQ(2 * (countsForDoubledMv(2 * mv) * 2430 / 8184), 2 * mv);
    }
    for (int mv = 650 + 11 * 580; mv <= 18000; mv += 11)
        EXPECT_EQ(11 * (countsForSupplyMv(mv) * 2430 / 8184) + 650, mv);
    for (int mv = 0; mv <= 4860; mv += 7) EXPECT_EQ(countsForRatio(mv, 4860) * 4860 / 8184, mv);
}

} // namespace
} // namespace velmora::sim
