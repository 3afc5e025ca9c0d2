#include "model/calibration.h"
#include "model/clamp.h"
#include "model/defaults.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace velmora;

namespace {

std::vector<int> series(const Calibration& cal, Param head) {
    std::vector<int> out;
    for (int i = 0; i < 10; ++i) out.push_back(cal[at(head, i)]);
    return out;
}

void setSeries(Calibration& cal, Param head, std::vector<int> values) {
    for (int i = 0; i < 10; ++i) cal[at(head, i)] = static_cast<std::uint8_t>(values[i]);
}

Calibration legal() {
    Calibration cal;
    cal[Klicovani] = 6;
    setDefaultCalibration(cal);
    return cal;
}

} // namespace

TEST(Clamp, SpeedAxesRiseFromTheirLowerBounds) {
    for (Param head : {RpmAdv1, RPM_JET_0, RPM_PRIV_0}) {
        Calibration cal = legal();
        setSeries(cal, head, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        clamp(cal);
        EXPECT_EQ(series(cal, head), (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

        setSeries(cal, head, {255, 255, 255, 255, 255, 255, 255, 255, 255, 255});
        clamp(cal);
        EXPECT_EQ(series(cal, head),
                  (std::vector<int>{191, 192, 193, 194, 195, 196, 197, 198, 199, 200}));

        setSeries(cal, head, {10, 10, 10, 40, 50, 60, 70, 80, 90, 100});
        clamp(cal);
        EXPECT_EQ(series(cal, head), (std::vector<int>{10, 11, 12, 40, 50, 60, 70, 80, 90, 100}));

        // A falling axis is pushed up point by point, in order.
        setSeries(cal, head, {200, 150, 100, 50, 20, 10, 5, 3, 3, 3});
        clamp(cal);
        EXPECT_EQ(series(cal, head),
                  (std::vector<int>{191, 192, 193, 194, 195, 196, 197, 198, 199, 200}));
    }
}

TEST(Clamp, AdvanceIsBoundedBeforeAdvanceMaxIsRaised) {
    Calibration cal = legal();
    cal[AdvanceMax] = 5;
    setSeries(cal, Advance1, {30, 30, 30, 30, 30, 30, 30, 30, 30, 30});
    clamp(cal);
    EXPECT_EQ(cal[AdvanceMax], 10);
    EXPECT_EQ(series(cal, Advance1), (std::vector<int>{5, 5, 5, 5, 5, 5, 5, 5, 5, 5}));

    cal[AdvanceMax] = 200;
    cal[Advance1] = 180;
    clamp(cal);
    EXPECT_EQ(cal[AdvanceMax], 125);
    // No advance may exceed the limited AdvanceMax, already after the first clamp.
    EXPECT_EQ(cal[Advance1], 125);
}

TEST(Clamp, PairsMoveTheRightMember) {
    Calibration cal = legal();
    cal[Omez1] = 120;
    cal[Omez2] = 100;
    cal[Gas1] = 80;
    cal[Gas2] = 50;
    cal[Retard1] = 20;
    cal[Retard2] = 10;
    clamp(cal);
    EXPECT_EQ(cal[Omez1], 120);
    EXPECT_EQ(cal[Omez2], 120);
    EXPECT_EQ(cal[Gas1], 50);
    EXPECT_EQ(cal[Gas2], 50);
    EXPECT_EQ(cal[Retard1], 10);
    EXPECT_EQ(cal[Retard2], 10);

    // The limits apply before the pair rules.
    cal[Omez1] = 255;
    cal[Omez2] = 9;
    cal[Gas1] = 255;
    cal[Gas2] = 255;
    cal[Retard1] = 30;
    cal[Retard2] = 255;
    clamp(cal);
    EXPECT_EQ(cal[Omez1], 250);
    EXPECT_EQ(cal[Omez2], 250);
    EXPECT_EQ(cal[Gas1], 100);
    EXPECT_EQ(cal[Gas2], 100);
    EXPECT_EQ(cal[Retard1], 25);
    EXPECT_EQ(cal[Retard2], 25);
}

TEST(Clamp, SingleLimits) {
    Calibration cal = legal();
    cal[Omez1] = 9;
    cal[GasT] = 0;
    cal[RetardT] = 0;
    cal[GasD] = 255;
    cal[RetardD] = 201;
    cal[gcClutch] = 101;
    cal[PilotLight] = 5;
    cal[at(JET0_0, 42)] = 255;
    cal[at(JET0_0, 43)] = 251;
    cal[TPS_0] = 255;
    cal[TPS_100] = 251;
    cal[START_JET] = 60;
    clamp(cal);
    EXPECT_EQ(cal[Omez1], 10);
    EXPECT_EQ(cal[GasT], 1);
    EXPECT_EQ(cal[RetardT], 1);
    EXPECT_EQ(cal[GasD], 200);
    EXPECT_EQ(cal[RetardD], 200);
    EXPECT_EQ(cal[gcClutch], 100);
    EXPECT_EQ(cal[PilotLight], 10);
    EXPECT_EQ(cal[at(JET0_0, 42)], 250);
    EXPECT_EQ(cal[at(JET0_0, 43)], 250);
    EXPECT_EQ(cal[TPS_0], 250);
    EXPECT_EQ(cal[TPS_100], 250);
    EXPECT_EQ(cal[START_JET], 50);

    // Values no rule names are left as they are.
    cal[KOR23_0] = 255;
    cal[VODA_10] = 0;
    cal[NAP_PRIV_0] = 255;
    cal[Klicovani] = 200;
    clamp(cal);
    EXPECT_EQ(cal[KOR23_0], 255);
    EXPECT_EQ(cal[VODA_10], 0);
    EXPECT_EQ(cal[NAP_PRIV_0], 255);
    EXPECT_EQ(cal[Klicovani], 200);
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
