#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/ignition_curve.h"
#include "analysis/map_geometry.h"

namespace velmora::analysis {
namespace {

const std::array<int, MapSize> Rpms{1000, 2000, 3000, 4000, 6000, 8000, 10000, 12000, 14000, 16000};

TEST(Geometry, EveryAxisPointLandsOnItsCell) {
    for (int r = 0; r < MapSize; ++r) {
        for (int c = 0; c < MapSize; ++c) {
            const auto p = locate(Rpms[c], ThrottleAxis[r], Rpms);
            ASSERT_TRUE(p) << r << "," << c;
            EXPECT_DOUBLE_EQ(p->row, r);
            EXPECT_DOUBLE_EQ(p->col, c);
            EXPECT_EQ(p->nearestRow, r);
            EXPECT_EQ(p->nearestCol, c);
            // All the weight on that one cell.
            for (const CellWeight& w : p->cells)
                EXPECT_DOUBLE_EQ(w.weight, w.row == r && w.col == c ? 1.0 : 0.0);
        }
    }
}

TEST(Geometry, HalfwayBetweenPointsSharesEvenly) {
    for (int r = 0; r + 1 < MapSize; ++r) {
        for (int c = 0; c + 1 < MapSize; ++c) {
            const int rpm = (Rpms[c] + Rpms[c + 1]) / 2;
            const double tps2 = ThrottleAxis[r] + ThrottleAxis[r + 1]; // twice the midpoint
            if (static_cast<int>(tps2) % 2 != 0) continue;             // whole percent only
            const auto p = locate(rpm, static_cast<int>(tps2 / 2), Rpms);
            ASSERT_TRUE(p);
            EXPECT_DOUBLE_EQ(p->row, r + 0.5);
            EXPECT_DOUBLE_EQ(p->col, c + 0.5);
            EXPECT_EQ(p->nearestRow, r + 1); // a tie goes to the upper cell
            EXPECT_EQ(p->nearestCol, c + 1);
            for (const CellWeight& w : p->cells) EXPECT_DOUBLE_EQ(w.weight, 0.25);
        }
    }
}

// Bilinear weights reproduce any linear function of the axes, and so the point itself.
TEST(Geometry, WeightsReproduceThePoint) {
    std::mt19937 rng(52);
    for (int i = 0; i < 20000; ++i) {
        const int rpm = std::uniform_int_distribution<int>(1000, 16000)(rng);
        const int tps = std::uniform_int_distribution<int>(0, 100)(rng);
        const auto p = locate(rpm, tps, Rpms);
        ASSERT_TRUE(p);
        double sum = 0, x = 0, y = 0;
        for (const CellWeight& w : p->cells) {
            EXPECT_GE(w.weight, 0.0);
            sum += w.weight;
            x += w.weight * Rpms[w.col];
            y += w.weight * ThrottleAxis[w.row];
        }
        EXPECT_NEAR(sum, 1.0, 1e-12);
        EXPECT_NEAR(x, rpm, 1e-9);
        EXPECT_NEAR(y, tps, 1e-9);
        EXPECT_LE(std::abs(p->nearestRow - p->row), 0.5);
        EXPECT_LE(std::abs(p->nearestCol - p->col), 0.5);
    }
}

// Off the speed axis the point stays on the edge column, as the unit's interpolation does.
TEST(Geometry, SpeedsOffTheAxisLieOnTheEdgeColumn) {
    const struct {
        int rpm;
        double col;
    } cases[] = {{100, 0.0},  {900, 0.0},      {999, 0.0},   {1000, 0.0},  {1500, 0.5},
                 {5000, 3.5}, {15999, 8.9995}, {16000, 9.0}, {16001, 9.0}, {25000, 9.0}};
    for (const auto& k : cases) {
        const auto p = locate(k.rpm, 5, Rpms);
        ASSERT_TRUE(p) << k.rpm;
        EXPECT_NEAR(p->col, k.col, 1e-9) << k.rpm;
        EXPECT_EQ(p->nearestCol, static_cast<int>(std::lround(k.col + 1e-9))) << k.rpm;
        EXPECT_DOUBLE_EQ(p->row, 2.0);
        double sum = 0;
        for (const CellWeight& w : p->cells) {
            EXPECT_GE(w.col, 0);
            EXPECT_LT(w.col, MapSize);
            sum += w.weight;
        }
        EXPECT_NEAR(sum, 1.0, 1e-12) << k.rpm;
    }
}

TEST(Geometry, NoSpeedOrABadSensorOrAxisIsNowhere) {
    EXPECT_FALSE(locate(0, 50, Rpms));     // no speed signal
    EXPECT_FALSE(locate(5000, 101, Rpms)); // throttle sensor fault
    EXPECT_FALSE(locate(5000, -1, Rpms));
    auto flat = Rpms;
    flat[4] = flat[3];
    EXPECT_FALSE(axisRises(flat));
    EXPECT_FALSE(locate(5000, 50, flat));
    EXPECT_TRUE(axisRises(Rpms));
}

TEST(HeatColours, LeanBlueStoichGreenRichRed) {
    const Rgb lean = heatColour(100 - HeatSpan), mid = heatColour(100),
              rich = heatColour(100 + HeatSpan);
    EXPECT_GT(lean.b, lean.r);
    EXPECT_GT(lean.b, lean.g - 40);
    EXPECT_GT(mid.g, mid.r);
    EXPECT_GT(mid.g, mid.b);
    EXPECT_GT(rich.r, rich.g);
    EXPECT_GT(rich.r, rich.b);
    // Beyond the span the ends hold.
    EXPECT_EQ(heatColour(5), lean);
    EXPECT_EQ(heatColour(250), rich);
}

// Equal steps in value give nearly equal perceived steps, on both sides of 100 %, and every
// colour keeps its text readable.
TEST(HeatColours, EvenStepsAndReadableText) {
    double lo = 1e9, hi = 0;
    for (int v = 100 - HeatSpan; v < 100 + HeatSpan; v += 4) {
        const double d = perceivedDistance(heatColour(v), heatColour(v + 4));
        lo = std::min(lo, d);
        hi = std::max(hi, d);
    }
    EXPECT_GT(lo, 0.0);
    EXPECT_LT(hi / lo, 1.35) << lo << " " << hi;
    for (int v = 0; v <= 255; ++v) {
        const Rgb bg = heatColour(v);
        EXPECT_GE(contrastRatio(bg, textColourOn(bg)), 7.0) << v;
    }
}

// The axes hold the curve and the live point, rounded up to whole grid steps; a point beyond
// them is drawn at their end.
TEST(IgnitionCurve, AxesHoldTheCurveAndTheLivePoint) {
    Calibration cal{};
    for (int i = 0; i < 10; ++i) {
        cal[at(RpmAdv1, i)] = static_cast<std::uint8_t>(10 + 15 * i); // up to 14,500 rpm
        cal[at(Advance1, i)] = static_cast<std::uint8_t>(10 + 2 * i); // up to 28 degrees
    }
    const std::array<CurvePoint, 10> curve = ignitionCurve(cal);
    EXPECT_EQ(curve[9].rpm, 14500);
    EXPECT_EQ(curve[9].advance, 28);
    struct Case {
        int liveRpm, liveAdvance, maxRpm, maxAdvance;
    } const cases[] = {
        {0, 0, 15000, 30},      // the curve alone
        {14500, 30, 15000, 30}, // live on a step
        {9000, 31, 15000, 35},  // ... and above one
        {15001, 0, 16000, 30},  // faster than the last point
        {9000, 36, 15000, 40},  // more advance reported than the curve holds
    };
    for (const Case& c : cases) {
        const CurveAxes a = curveAxes(curve, c.liveRpm, c.liveAdvance);
        EXPECT_EQ(a.maxRpm, c.maxRpm) << c.liveRpm;
        EXPECT_EQ(a.maxAdvance, c.maxAdvance) << c.liveAdvance;
    }
    EXPECT_EQ(curveAxes({}, 0, 0).maxRpm, 1000);
    EXPECT_EQ(curveAxes({}, 0, 0).maxAdvance, 5);
    const CurveAxes a{10000, 40};
    EXPECT_DOUBLE_EQ(plotFraction(a, 5000, 10).x, 0.5);
    EXPECT_DOUBLE_EQ(plotFraction(a, 5000, 10).y, 0.25);
    EXPECT_DOUBLE_EQ(plotFraction(a, 20000, 80).x, 1.0);
    EXPECT_DOUBLE_EQ(plotFraction(a, 20000, 80).y, 1.0);
}

} // namespace
} // namespace velmora::analysis
