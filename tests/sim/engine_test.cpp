#include "sim/engine.h"

#include "link/wideband.h"
#include "tests/common/calibrations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

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

// Model 6 with the temperature corrections at `water` % and 100 % (air), cylinders 2 and 3 at
// `kor` %, and no acceleration enrichment unless asked for.
Calibration flatCalibration(int kor = 100, int water = 100, int enrichment = 0) {
    Calibration cal = common::clampedDefaultsOf(6);
    for (int i = 0; i < 5; ++i) {
        cal[at(VODA_10, i)] = static_cast<std::uint8_t>(water);
        cal[at(VZDUCH_10, i)] = 100;
    }
    for (int i = 0; i < 10; ++i) cal[at(KOR23_0, i)] = static_cast<std::uint8_t>(kor);
    cal[AKCEL_JET] = static_cast<std::uint8_t>(enrichment);
    return cal;
}

// Ten tab-separated rows, the 0 % throttle row first, as the map window copies them.
std::string mapText(const std::function<double(int, int)>& cell) {
    std::string text;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            text += std::to_string(cell(r, c));
            text += c < 9 ? "\t" : "\n";
        }
    }
    return text;
}

FuelRequirement requirementOf(const std::function<double(int, int)>& cell, const Calibration& cal) {
    const RequirementResult r = parseRequirement(mapText(cell), cal);
    EXPECT_EQ(r.error, "");
    return r.requirement.value_or(FuelRequirement{});
}

// The mean of the sensor's lambda and of the narrow-band voltage over `seconds` in 10 ms steps.
std::pair<double, double> meanSensor(Engine& e, const Calibration& cal, double seconds) {
    double lambda = 0, mv = 0;
    const int n = static_cast<int>(seconds / 0.01);
    for (int i = 0; i < n; ++i) {
        e.step(0.01, cal);
        lambda += e.sensorLambda();
        mv += e.state().lambdaMv;
    }
    return {lambda / n, mv / n};
}

// Held at an operating point of a warm engine, the wide-band sensor reads the required fuel over
// the delivered: the map and the requirement interpolated bilinearly (the edge column beyond the
// axis); cylinder 2/3 and water corrections changed since the requirement was made scale the
// fuel delivered. The narrow-band probe reads rich or lean.
TEST(EngineFuel, SensorReadsRequiredOverDeliveredFuel) {
    // Map rows rise 1 % per row; the requirement 2 % per row and 1 % per column, so that a
    // swapped or misplaced axis shows.
    const auto mapCell = [](double row) { return 100.0 + row; };
    const auto needCell = [](double row, double col) { return 100.0 + 2 * row + col; };
    struct Case {
        double throttle, rpm;
        double row, col;              // where the point lies on the map
        int kor, water;               // corrections programmed; the requirement was made at 100 %
        double scale;                 // requirement scale
        bool sameCorrections = false; // the requirement was made with the corrections programmed
    } cases[] = {
        {20, 4000, 4, 3, 100, 100, 1.0},     // on a cell
        {25, 5000, 4.5, 3.5, 100, 100, 1.0}, // between four cells
        {100, 20000, 9, 9, 100, 100, 1.0},   // beyond the speed axis: the edge column
        {5, 1500, 2, 0.5, 120, 100, 1.0},    // cylinders 2 and 3 at +20 %: +10 % fuel
        {40, 3000, 6, 2, 100, 90, 1.0},      // water correction 90 %
        {30, 8000, 5, 5, 100, 100, 0.85},    // rich
        {30, 8000, 5, 5, 100, 100, 1.2},     // lean
        // Made against the calibration it runs: lambda is the requirement over the map.
        {20, 4000, 4, 3, 83, 110, 1.1, true},
    };
    Calibration made = flatCalibration();
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c) made[jetCell(r, c)] = static_cast<std::uint8_t>(mapCell(r));
    for (const Case& k : cases) {
        Calibration cal = made;
        for (int i = 0; i < 5; ++i) cal[at(VODA_10, i)] = static_cast<std::uint8_t>(k.water);
        for (int i = 0; i < 10; ++i) cal[at(KOR23_0, i)] = static_cast<std::uint8_t>(k.kor);
        Engine e(4, 90.0);
        e.setRequirement(requirementOf([&](int r, int c) { return needCell(r, c) * k.scale; },
                                       k.sameCorrections ? cal : made));
        e.hold(k.rpm, k.throttle);
        meanSensor(e, cal, 3.0); // past the start and the delay
        const auto [lambda, mv] = meanSensor(e, cal, 1.0);
        const double expected =
            needCell(k.row, k.col) * k.scale /
            (mapCell(k.row) *
             (k.sameCorrections ? 1.0 : (200 + 2 * k.kor) / 400.0 * k.water / 100.0));
        SCOPED_TRACE(testing::Message() << k.throttle << " % at " << k.rpm << " rpm");
        EXPECT_NEAR(lambda, expected, 0.002 * expected);
        if (expected < 0.97) {
            EXPECT_GT(mv, 700.0);
        } else if (expected > 1.03) {
            EXPECT_LT(mv, 200.0);
        }
    }
}

// A step of the throttle from a lean cell to a rich one shows at the sensor after the transport
// delay of the speed: the delay at 3000 rpm scaled by 3000 / rpm, within 100 to 400 ms.
TEST(EngineFuel, AThrottleStepReachesTheSensorAfterTheTransportDelay) {
    struct Case {
        double rpm, delayAt3000Ms, delayMs;
    } cases[] = {
        {3000, 200, 200}, {6000, 200, 100}, {1500, 150, 300}, {2000, 300, 400}, {12000, 200, 100}};
    Calibration cal = flatCalibration();
    for (int c = 0; c < 10; ++c) cal[jetCell(7, c)] = 125; // 60 % row: 25 % more fuel
    for (const Case& k : cases) {
        Engine e(6, 90.0);
        e.setDelayMsAt3000(k.delayAt3000Ms);
        e.setRequirement(requirementOf([](int, int) { return 100.0; }, cal));
        EXPECT_NEAR(e.transportDelay(k.rpm), k.delayMs / 1000.0, 1e-9) << k.rpm;
        e.hold(k.rpm, 20);
        for (int i = 0; i < 3000; ++i) e.step(0.001, cal);
        const double before = e.sensorLambda();
        ASSERT_NEAR(before, 1.0, 0.015);
        e.hold(k.rpm, 60);
        double seen = -1;
        for (int ms = 1; ms <= 600 && seen < 0; ++ms) {
            e.step(0.001, cal);
            if (before - e.sensorLambda() > 0.02) seen = ms;
        }
        EXPECT_GE(seen, k.delayMs) << k.rpm << " rpm";
        EXPECT_LE(seen, k.delayMs + 5) << k.rpm << " rpm";
        meanSensor(e, cal, 0.5);
        EXPECT_NEAR(meanSensor(e, cal, 0.5).first, 0.8, 0.004);
    }
}

// The injection time the unit reports through a start, a quick opening of the throttle, and a
// closed throttle at speed; the fuel cut reaches the sensors as air, never as a lambda a sensor
// reports, and the probe reads lean.
TEST(EngineFuel, StartEnrichmentAndFuelCutAsTheCalibrationSays) {
    Calibration cal = flatCalibration(100, 100, 40); // 1200 us of enrichment
    cal[START_JET] = 8;
    cal[AKCEL_PRAH] = 30; // 300 %/s
    Engine e(2, 90.0);
    e.hold(1000, 10);
    e.step(0.5, cal);
    EXPECT_DOUBLE_EQ(e.state().injectionUs, 8000.0) << "cranking";
    for (int i = 0; i < 200; ++i) e.step(0.01, cal);
    EXPECT_NEAR(e.state().injectionUs, 2500.0, 1e-6) << "100 % at 25 us per %";
    e.hold(3000, 40); // 30 % in 10 ms: 3000 %/s
    e.step(0.01, cal);
    EXPECT_NEAR(e.state().injectionUs, 2500.0 + 1200.0, 1e-6);
    for (int i = 0; i < 25; ++i) e.step(0.01, cal);
    EXPECT_NEAR(e.state().injectionUs, 2500.0, 1e-6) << "enrichment over after 0.2 s";
    e.hold(3000, 45); // 5 % in 0.1 s: 50 %/s, below the threshold
    e.step(0.1, cal);
    EXPECT_NEAR(e.state().injectionUs, 2500.0, 1e-6);

    e.hold(8000, 0);
    double lowest = FreeAirLambda;
    for (int i = 0; i < 100; ++i) {
        e.step(0.01, cal);
        EXPECT_EQ(e.state().injectionUs, 0.0);
        if (i > 45) lowest = std::min(lowest, e.sensorLambda()); // after the delay
    }
    EXPECT_GT(lowest, MaxSensorLambda);
    EXPECT_LT(e.state().lambdaMv, 200.0);
    e.hold(3000, 20);
    meanSensor(e, cal, 0.5);
    EXPECT_NEAR(meanSensor(e, cal, 0.5).first, 1.0, 0.01) << "burning again";
}

// The seeded requirement stays within the spread of the programmed map, uses it, varies
// smoothly from cell to cell (no per-cell noise) and is the same for the same seed.
TEST(EngineFuel, SeededRequirementIsSmoothAndWithinTheSpread) {
    Calibration cal = common::clampedDefaultsOf(6);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c) cal[jetCell(r, c)] = static_cast<std::uint8_t>(80 + 5 * r + c);
    int differentCells = 0;
    for (const double spread : {5.0, 20.0}) {
        for (std::uint64_t seed = 1; seed <= 40; ++seed) {
            const FuelRequirement need = requirementFromSeed(seed, cal, spread);
            double largest = 0, steepest = 0;
            for (int r = 0; r < 10; ++r) {
                for (int c = 0; c < 10; ++c) {
                    const auto share = [&](int rr, int cc) {
                        return need.cells[static_cast<std::size_t>(10 * rr + cc)] /
                                   cal[jetCell(rr, cc)] -
                               1.0;
                    };
                    largest = std::max(largest, std::fabs(share(r, c)));
                    if (c < 9)
                        steepest = std::max(steepest, std::fabs(share(r, c + 1) - share(r, c)));
                    if (r < 9)
                        steepest = std::max(steepest, std::fabs(share(r + 1, c) - share(r, c)));
                }
            }
            EXPECT_LE(largest, spread / 100.0 + 1e-12) << seed;
            EXPECT_GE(largest, spread / 100.0 * 0.99) << seed;
            EXPECT_LE(steepest, spread / 100.0 * 0.6) << seed;
            EXPECT_EQ(need.rpms[9], cal[at(RPM_JET_0, 9)] * 100);
            const FuelRequirement again = requirementFromSeed(seed, cal, spread);
            EXPECT_EQ(need.cells, again.cells);
            differentCells += need.cells != requirementFromSeed(seed + 1, cal, spread).cells;
        }
    }
    EXPECT_EQ(differentCells, 80);
}

// The requirement's text: what the map window copies, with decimals; anything else is refused
// with the line it is on.
TEST(EngineFuel, RequirementTextIsReadOrRefusedWithItsLine) {
    const Calibration cal = common::clampedDefaultsOf(6);
    const std::string good = mapText([](int r, int c) { return 100.0 + r + c / 10.0; });
    const RequirementResult read = parseRequirement(good, cal);
    ASSERT_EQ(read.error, "");
    EXPECT_DOUBLE_EQ(read.requirement->cells[10 * 3 + 5], 103.5);
    EXPECT_EQ(read.requirement->rpms[0], 1000);
    std::string spaced = "";
    for (int r = 0; r < 10; ++r) spaced += " 90  91 92 93 94 95 96 97 98 99.5\r\n";
    EXPECT_EQ(parseRequirement(spaced + "\n\n", cal).error, "");

    const std::string row = "100\t100\t100\t100\t100\t100\t100\t100\t100\t100\n";
    std::string rows9;
    for (int r = 0; r < 9; ++r) rows9 += row;
    struct Bad {
        std::string text;
        const char* says;
    } bad[] = {
        {rows9, "9 rows"},
        {rows9 + row + row, "11 rows"},
        {rows9 + "100\t100\n", "line 10: 2 numbers"},
        {row + row + "1,5" + row.substr(3) + rows9.substr(0, 7 * row.size()), "line 3: \"1,5\""},
        {"abc" + row.substr(3) + rows9, "line 1: \"abc\" is not a number"},
        {rows9 + "0" + row.substr(3), "line 10: 0 is outside"},
        {"-5" + row.substr(3) + rows9, "line 1: -5 is outside"},
        {rows9 + row.substr(0, row.size() - 1) + "\t100\n", "line 10: more than 10"},
        {"", "0 rows"},
    };
    for (const Bad& b : bad) {
        const RequirementResult r = parseRequirement(b.text, cal);
        EXPECT_FALSE(r.requirement.has_value()) << b.says;
        EXPECT_NE(r.error.find(b.says), std::string::npos) << r.error;
    }
    EXPECT_NE(readRequirementFile("/nonexistent/need.txt", cal).error, "");
}

} // namespace
} // namespace velmora::sim
