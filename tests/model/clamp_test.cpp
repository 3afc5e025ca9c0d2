#include "model/calibration.h"
#include "model/clamp.h"
#include "model/defaults.h"
#include "tests/common/calibrations.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

using namespace velmora;

namespace {

using common::seriesOf;
using Values = std::vector<std::pair<Param, int>>;

// Every value of the series that starts at `head` set to `v`.
Values each(Param head, int v) {
    Values out;
    for (int i = 0; i < 10; ++i) out.push_back({at(head, i), v});
    return out;
}

Values operator+(Values a, const Values& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void setSeries(Calibration& cal, Param head, std::vector<int> values) {
    for (int i = 0; i < 10; ++i) cal[at(head, i)] = static_cast<std::uint8_t>(values[i]);
}

} // namespace

TEST(Clamp, SpeedAxesRiseFromTheirLowerBounds) {
    const std::vector<int> lowest{3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const std::vector<int> highest{191, 192, 193, 194, 195, 196, 197, 198, 199, 200};
    const struct {
        std::vector<int> in, out;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, lowest},
        {{255, 255, 255, 255, 255, 255, 255, 255, 255, 255}, highest},
        {{10, 10, 10, 40, 50, 60, 70, 80, 90, 100}, {10, 11, 12, 40, 50, 60, 70, 80, 90, 100}},
        // A falling axis is pushed up point by point, in order.
        {{200, 150, 100, 50, 20, 10, 5, 3, 3, 3}, highest},
    };
    for (Param head : {RpmAdv1, RPM_JET_0, RPM_PRIV_0}) {
        for (const auto& c : cases) {
            Calibration cal = common::defaultsOf(6);
            setSeries(cal, head, c.in);
            clamp(cal);
            EXPECT_EQ(seriesOf(cal, head), c.out) << paramName(head) << " from " << c.in[0];
        }
    }
}

// Each row starts from model 6's defaults, sets its values, clamps once and checks its values.
TEST(Clamp, LimitsAndPairRules) {
    const struct {
        const char* name;
        Values set, expected;
    } rows[] = {
        // No advance may exceed the limited AdvanceMax, already after the first clamp.
        {"advance over a low AdvanceMax", each(Advance1, 30) + Values{{AdvanceMax, 5}},
         each(Advance1, 5) + Values{{AdvanceMax, 10}}},
        {"AdvanceMax over its limit",
         {{AdvanceMax, 200}, {Advance1, 180}},
         {{AdvanceMax, 125}, {Advance1, 125}}},
        {"pairs out of order",
         {{Omez1, 120}, {Omez2, 100}, {Gas1, 80}, {Gas2, 50}, {Retard1, 20}, {Retard2, 10}},
         {{Omez1, 120}, {Omez2, 120}, {Gas1, 50}, {Gas2, 50}, {Retard1, 10}, {Retard2, 10}}},
        {"limits before the pair rules",
         {{Omez1, 255}, {Omez2, 9}, {Gas1, 255}, {Gas2, 255}, {Retard1, 30}, {Retard2, 255}},
         {{Omez1, 250}, {Omez2, 250}, {Gas1, 100}, {Gas2, 100}, {Retard1, 25}, {Retard2, 25}}},
        {"single limits",
         {{Omez1, 9},
          {GasT, 0},
          {RetardT, 0},
          {GasD, 255},
          {RetardD, 201},
          {gcClutch, 101},
          {PilotLight, 5},
          {at(JET0_0, 42), 255},
          {at(JET0_0, 43), 251},
          {TPS_0, 255},
          {TPS_100, 251},
          {START_JET, 60}},
         {{Omez1, 10},
          {GasT, 1},
          {RetardT, 1},
          {GasD, 200},
          {RetardD, 200},
          {gcClutch, 100},
          {PilotLight, 10},
          {at(JET0_0, 42), 250},
          {at(JET0_0, 43), 250},
          {TPS_0, 250},
          {TPS_100, 250},
          {START_JET, 50}}},
        {"values no rule names",
         {{KOR23_0, 255}, {VODA_10, 0}, {NAP_PRIV_0, 255}, {Klicovani, 200}},
         {{KOR23_0, 255}, {VODA_10, 0}, {NAP_PRIV_0, 255}, {Klicovani, 200}}},
    };
    for (const auto& row : rows) {
        Calibration cal = common::defaultsOf(6);
        for (const auto& [p, v] : row.set) cal[p] = static_cast<std::uint8_t>(v);
        clamp(cal);
        for (const auto& [p, v] : row.expected)
            EXPECT_EQ(cal[p], v) << row.name << ": " << paramName(p);
    }
}

TEST(Clamp, AnyInputEndsLegalAndASecondClampChangesNothing) {
    std::mt19937 rng(52);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 5000; ++round) {
        Calibration cal;
        for (auto& b : cal.v) b = static_cast<std::uint8_t>(byte(rng));
        clamp(cal);
        Calibration again = cal;
        clamp(again);
        ASSERT_EQ(again, cal) << "round " << round;

        for (Param head : {RpmAdv1, RPM_JET_0, RPM_PRIV_0}) {
            for (int i = 0; i < 10; ++i) {
                ASSERT_GE(cal[at(head, i)], i + 3);
                ASSERT_LE(cal[at(head, i)], i + 191);
                if (i > 0) {
                    ASSERT_GT(cal[at(head, i)], cal[at(head, i - 1)]);
                }
            }
        }
        ASSERT_GE(cal[Omez2], cal[Omez1]);
        ASSERT_LE(cal[Gas1], cal[Gas2]);
        ASSERT_LE(cal[Retard1], cal[Retard2]);
    }
}
