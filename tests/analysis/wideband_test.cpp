#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <random>

#include "analysis/wideband_correction.h"

namespace velmora::analysis {
namespace {

const std::array<int, MapSize> Rpms{1000, 2000, 3000, 4000, 6000, 8000, 10000, 12000, 14000, 16000};

// A steady, warm ride: a sample every 100 ms (`shape` changes it), a reading every 80 ms of
// the exhaust lambda that left the engine `delay(rpm)` earlier (`exhaust`; 0: the controller
// sends no lambda), joined to each sample as the link joins it.
struct Ride {
    std::function<void(EngineSample&, double)> shape;
    std::function<double(double)> exhaust;
    std::function<double(double)> delay = [](double rpm) { return 0.2 * 3000.0 / rpm; };
    std::function<void(const WidebandCorrection&)> after = [](const WidebandCorrection&) {};

    void run(WidebandCorrection& corr, double seconds) const {
        for (int i = 0; i * 0.1 <= seconds; ++i) {
            const double t = i * 0.1;
            EngineSample s;
            s.timeMs = static_cast<std::uint64_t>(i) * 100;
            s.rpm = 3000;
            s.throttle = 20;
            s.waterC = 85;
            s.injectionUs = 2500;
            s.kindsSeen = 7;
            s.widebandConnected = true;
            shape(s, t);
            const double reading = std::floor(t / 0.08 + 1e-9) * 0.08;
            const double lambda = exhaust(reading - delay(s.rpm));
            s.widebandAgeMs = static_cast<std::uint32_t>(std::lround((t - reading) * 1000.0));
            s.widebandState = lambda > 0 ? WidebandState::Ok : WidebandState::Invalid;
            if (lambda > 0) s.widebandLambda = lambda;
            corr.add(s, Rpms);
            after(corr);
        }
    }
};

MapCells flatMap(std::uint8_t v) {
    MapCells m{};
    m.fill(v);
    return m;
}

TargetTable flatTargets(double v) {
    TargetTable t{};
    for (auto& row : t) row.fill(v);
    return t;
}

// Row 4 (20 %), column 2 (3000 rpm): where the steady ride sits.
CellCorrection atRide(const CorrectionGrid& g) {
    return g[4][2];
}

TEST(WidebandCorrection, SuggestsMeasuredOverTargetWithinEveryBound) {
    struct Case {
        const char* name;
        double lambda; // measured, steady
        double target; // everywhere
        std::uint8_t present, sessionStart;
        bool locked;
        double step, total; // percent
        CellReason reason;
        int value;
    };
    const Case cases[] = {
        {"lean by 4 %", 1.04, 1.0, 100, 100, false, 5, 20, CellReason::Suggested, 104},
        {"rich against a rich target", 0.85, 0.87, 100, 100, false, 5, 20, CellReason::Suggested,
         98},
        {"step bound", 1.20, 1.0, 100, 100, false, 5, 20, CellReason::Suggested, 105},
        {"session bound", 1.20, 1.0, 118, 100, false, 5, 20, CellReason::Suggested, 120},
        {"at the session bound", 1.20, 1.0, 120, 100, false, 5, 20, CellReason::AtLimit, 120},
        {"on target", 1.002, 1.0, 100, 100, false, 5, 20, CellReason::OnTarget, 100},
        {"locked", 1.10, 1.0, 100, 100, true, 5, 20, CellReason::Locked, 100},
        {"edited beyond the bound is not pushed further", 1.10, 1.0, 130, 100, false, 5, 20,
         CellReason::AtLimit, 130},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CorrectionSettings cs;
        cs.maxStepPercent = c.step;
        cs.maxTotalPercent = c.total;
        WidebandCorrection corr(cs);
        Ride{[](EngineSample&, double) {}, [&](double) { return c.lambda; }}.run(corr, 30.0);
        LockGrid locks{};
        locks[4][2] = c.locked;
        MapCells map = flatMap(c.present), start = flatMap(c.sessionStart);
        const CellCorrection cell = atRide(corr.suggest(map, start, flatTargets(c.target), locks));
        EXPECT_EQ(cell.reason, c.reason);
        EXPECT_EQ(cell.value, c.value);
        EXPECT_GT(cell.samples, cs.minSamples);
        EXPECT_NEAR(cell.medianLambda, c.lambda, 1e-9);
    }
}

// Readings that pass a cell only at a distance measure the blend of its neighbour: that cell is
// left alone, and the cell they lie near takes the correction the blend asks for (4 % lean at
// 80 % weight: 105, so that 0.2 x 100 + 0.8 x 105 = 104).
TEST(WidebandCorrection, ACellSeenOnlyFromItsNeighbourIsLeftAlone) {
    WidebandCorrection corr;
    Ride{[](EngineSample& s, double) { s.rpm = 3800; }, [](double) { return 1.04; }}.run(corr,
                                                                                         30.0);
    const CorrectionGrid g = corr.suggest(flatMap(100), flatMap(100), flatTargets(1.0), {});
    EXPECT_EQ(g[4][2].reason, CellReason::Between);
    EXPECT_EQ(g[4][2].value, 100);
    EXPECT_EQ(g[4][3].reason, CellReason::Suggested);
    EXPECT_EQ(g[4][3].value, 105);
}

TEST(WidebandCorrection, LeavesOutReadingsThatDoNotMeasureTheMap) {
    // Every other second the ride is disturbed; the disturbed readings must not move the cell.
    struct Case {
        const char* name;
        std::function<void(EngineSample&)> disturb;
        double disturbedLambda;
        std::uint64_t Exclusions::*counted;
    };
    const Case cases[] = {
        {"fuel cut", [](EngineSample& s) { s.injectionUs = 0; }, 1.5, &Exclusions::fuelCut},
        {"cold engine", [](EngineSample& s) { s.waterC = 50; }, 0.8, &Exclusions::cold},
        {"water sensor fault", [](EngineSample& s) { s.waterFault = true; }, 0.8,
         &Exclusions::cold},
        {"start limiter", [](EngineSample& s) { s.startLimiter = true; }, 0.8,
         &Exclusions::limiter},
        {"out of the sensor's range", [](EngineSample&) {}, 4.0, &Exclusions::noLambda},
        {"throttle snapped open", [](EngineSample& s) { s.throttle = 80; }, 0.8,
         &Exclusions::transient},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CorrectionSettings cs;
        cs.accelerationThreshold = 300;
        WidebandCorrection corr(cs);
        const auto disturbed = [](double t) { return t > 0 && std::fmod(t, 2.0) >= 1.0; };
        Ride{[&](EngineSample& s, double t) {
                 if (disturbed(t)) c.disturb(s);
             },
             [&](double t) { return disturbed(t) ? c.disturbedLambda : 1.0; }}
            .run(corr, 60.0);
        const Exclusions e = corr.exclusions();
        EXPECT_GT(e.*c.counted, 50u);
        const CellCorrection cell =
            atRide(corr.suggest(flatMap(100), flatMap(100), flatTargets(1.0), LockGrid{}));
        EXPECT_EQ(cell.reason, CellReason::OnTarget);
        EXPECT_NEAR(cell.medianLambda, 1.0, 1e-9);
    }
}

TEST(WidebandCorrection, MeasuresTheTransportDelayOfEachSpeedBand) {
    // Injection steps at random moments; the exhaust lambda is the steady requirement over
    // the injection of its moment, reported a speed-dependent delay later.
    // Steps fall anywhere between two samples, as they do on an engine.
    for (const int rpm : {1800, 3200, 5000}) {
        SCOPED_TRACE(rpm);
        std::mt19937 random(static_cast<unsigned>(rpm));
        std::uniform_real_distribution<double> gap(0.8, 2.0), level(2300.0, 2900.0);
        std::vector<std::pair<double, double>> steps{{-10.0, 2500.0}}; // from, injection
        for (double t = 0.0; t < 250.0; t += gap(random)) steps.emplace_back(t, level(random));
        const auto injectionAt = [&](double t) {
            auto it = std::upper_bound(steps.begin(), steps.end(), std::make_pair(t, 1e9));
            return std::prev(it)->second;
        };
        WidebandCorrection corr;
        Ride ride{[&](EngineSample& s, double t) {
                      s.rpm = rpm;
                      s.injectionUs = static_cast<int>(injectionAt(t));
                  },
                  [&](double t) { return 2600.0 / injectionAt(t); }};
        ride.run(corr, 240.0);
        const double expected = ride.delay(rpm);
        EXPECT_NEAR(corr.delayAt(rpm), expected, 0.025);
        // Asked all along, as the window asks while samples come: the same delay.
        WidebandCorrection asked;
        int n = 0;
        ride.after = [&](const WidebandCorrection& c) {
            if (++n % 37 == 0) c.delays();
        };
        ride.run(asked, 240.0);
        EXPECT_NEAR(asked.delayAt(rpm), corr.delayAt(rpm), 1e-9);
    }
    // Without steps nothing is measured, and the assumed delay is used.
    WidebandCorrection steady;
    Ride{[](EngineSample&, double) {}, [](double) { return 1.0; }}.run(steady, 60.0);
    for (const DelayBand& b : steady.delays()) EXPECT_FALSE(b.seconds);
    EXPECT_NEAR(steady.delayAt(3000), 0.2, 1e-9);
}

TEST(WidebandCorrection, ReadingsMoveACellOnlyOnce) {
    WidebandCorrection corr;
    Ride{[](EngineSample&, double) {}, [](double) { return 1.05; }}.run(corr, 30.0);
    EXPECT_EQ(atRide(corr.suggest(flatMap(100), flatMap(100), flatTargets(1.0), {})).value, 105);
    corr.markUsed();
    EXPECT_FALSE(corr.hasUnusedReadings());
    EXPECT_EQ(atRide(corr.suggest(flatMap(105), flatMap(100), flatTargets(1.0), {})).reason,
              CellReason::NoSamples);
}

TEST(WidebandTargets, ParseRefusesWhatNoEngineRunsOnAndNamesWhere) {
    const std::string good = formatTargets(defaultTargets());
    const TargetParse back = parseTargets(good);
    ASSERT_TRUE(back.table);
    EXPECT_EQ(formatTargets(*back.table), good);

    const auto withCell = [&](const std::string& value) {
        std::string t;
        for (int r = 0; r < 10; ++r) {
            for (int c = 0; c < 10; ++c)
                t += (c ? "\t" : "") + std::string(r == 3 && c == 7 ? value : "0,95");
            t += "\r\n";
        }
        return t;
    };
    struct Case {
        std::string text;
        TargetParse::Fault fault;
        int row, col;
    };
    const Case cases[] = {
        {withCell("1.3"), TargetParse::Fault::None, -1, -1},
        {withCell("0"), TargetParse::Fault::OutOfRange, 3, 7},
        {withCell("1.31"), TargetParse::Fault::OutOfRange, 3, 7},
        {withCell("0.59"), TargetParse::Fault::OutOfRange, 3, 7},
        {withCell("nan"), TargetParse::Fault::NotANumber, 3, 7},
        {withCell("-1"), TargetParse::Fault::NotANumber, 3, 7},
        {withCell("1e0"), TargetParse::Fault::NotANumber, 3, 7},
        {withCell("1 1"), TargetParse::Fault::Columns, 3, -1},
        {"1.0\n", TargetParse::Fault::Rows, -1, -1},
        {std::string(1 << 20, '1'), TargetParse::Fault::Rows, -1, -1},
    };
    for (const Case& c : cases) {
        const TargetParse p = parseTargets(c.text);
        EXPECT_EQ(p.fault, c.fault) << p.error;
        EXPECT_EQ(p.table.has_value(), c.fault == TargetParse::Fault::None);
        EXPECT_EQ(p.row, c.row);
        EXPECT_EQ(p.col, c.col);
    }
}

} // namespace
} // namespace velmora::analysis
