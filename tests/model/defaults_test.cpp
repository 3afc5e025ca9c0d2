#include "model/calibration.h"
#include "model/clamp.h"
#include "model/defaults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace velmora;

namespace {

Calibration defaultsOf(int model) {
    Calibration cal;
    cal[Klicovani] = static_cast<std::uint8_t>(model);
    setDefaultCalibration(cal);
    return cal;
}

std::vector<int> series(const Calibration& cal, Param head, int n = 10) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(cal[at(head, i)]);
    return out;
}

} // namespace

TEST(ModelList, TextsKeepTheirBlanks) {
    EXPECT_STREQ(modelListText(0), "Aprilia RSV MILE                 98-");
    EXPECT_STREQ(modelListText(6), "Suzuki GSX-R600                01- ");
    EXPECT_STREQ(modelListText(12), "Kawasaki  ZX6RR               ");
    EXPECT_STREQ(modelListText(13), "MZ 125");
    EXPECT_EQ(std::strlen(modelListText(1)), 35u);
    EXPECT_EQ(std::strlen(modelListText(3)), 32u);
    EXPECT_STREQ(modelListText(14), "");
    EXPECT_STREQ(modelListText(-1), "");
}

TEST(DefaultCalibration, SpotValuesFromEachTable) {
    // Values typed from the model tables, one or two per column.
    const Calibration m0 = defaultsOf(0);
    EXPECT_EQ(series(m0, Advance1), (std::vector<int>{13, 14, 20, 28, 31, 33, 31, 31, 31, 31}));
    EXPECT_EQ(m0[AdvanceMax], 75);
    EXPECT_EQ(m0[ModelFlag], 1);
    EXPECT_EQ(m0[TPS_0], 65);
    EXPECT_EQ(m0[TPS_100], 153);
    EXPECT_EQ(m0[Rpm2Krat], 1);

    const Calibration m5 = defaultsOf(5);
    EXPECT_EQ(m5[AktBlok], 0);
    EXPECT_EQ(m5[POLOHA_PRO], 2);
    EXPECT_EQ(series(m5, MODEL_TAB_0),
              (std::vector<int>{127, 134, 144, 144, 147, 74, 24, 24, 24, 24}));
    EXPECT_EQ(series(m5, VZDUCH_10, 5), (std::vector<int>{113, 107, 100, 97, 93}));

    const Calibration m7 = defaultsOf(7);
    EXPECT_EQ(m7[START_JET], 12);
    EXPECT_EQ(m7[Omez1], 95);
    EXPECT_EQ(m7[Omez2], 136);
    EXPECT_EQ(m7[PilotLight], 116);
    EXPECT_EQ(series(m7, KOR23_0), (std::vector<int>{84, 97, 109, 100, 103, 97, 103, 99, 99, 98}));

    const Calibration m8 = defaultsOf(8);
    EXPECT_EQ(m8[START_JET], 13);
    EXPECT_EQ(m8[at(KOR23_0, 2)], 130);
    EXPECT_EQ(m8[AdvanceMax], 102);

    const Calibration m11 = defaultsOf(11);
    EXPECT_EQ(series(m11, VODA_10, 5), (std::vector<int>{124, 120, 109, 100, 98}));
    EXPECT_EQ(m11[Omez2], 150);
    EXPECT_EQ(m11[MODEL_CONST], 50);
    EXPECT_EQ(m11[at(MODEL_TAB_0, 9)], 39);

    const Calibration m12 = defaultsOf(12);
    EXPECT_EQ(m12[TPS_0], 103);
    EXPECT_EQ(m12[AdvanceMax], 73);
}

TEST(DefaultCalibration, CommonValues) {
    const Calibration cal = defaultsOf(3);
    EXPECT_EQ(series(cal, RpmAdv1), (std::vector<int>{10, 20, 30, 40, 60, 80, 100, 120, 140, 160}));
    EXPECT_EQ(series(cal, RPM_JET_0), series(cal, RpmAdv1));
    EXPECT_EQ(series(cal, RPM_PRIV_0), series(cal, RpmAdv1));
    EXPECT_EQ(series(cal, NAP_PRIV_0),
              (std::vector<int>{100, 105, 110, 115, 120, 125, 130, 135, 140, 145}));
    for (int cell = 0; cell < 100; ++cell) EXPECT_EQ(cal[at(JET0_0, cell)], 100);
    EXPECT_EQ(cal[PRIV_HYSTER], 40);
    EXPECT_EQ(cal[CHLAZENI], 90);
    EXPECT_EQ(cal[AKCEL_PRAH], 30);
    EXPECT_EQ(cal[AKCEL_JET], 84);
    EXPECT_EQ(cal[gcClutch], 10);
    EXPECT_EQ(cal[Gas1], 20);
    EXPECT_EQ(cal[Gas2], 60);
    EXPECT_EQ(cal[GasD], 20);
    EXPECT_EQ(cal[GasT], 30);
    EXPECT_EQ(cal[Retard1], 2);
    EXPECT_EQ(cal[Retard2], 6);
    EXPECT_EQ(cal[RetardD], 20);
    EXPECT_EQ(cal[RetardT], 30);
    EXPECT_EQ(cal[ZakazCteni], 0);
    EXPECT_EQ(cal[GasEnable], 0);
    EXPECT_EQ(cal[AktOmez1] + cal[AktClutch] + cal[AktRpm] + cal[AktN2o], 4);
}

TEST(DefaultCalibration, SharedRowsAreShared) {
    const Calibration m4 = defaultsOf(4), m6 = defaultsOf(6), m13 = defaultsOf(13);
    // Models 4 and 6 share everything but the model index and AdvanceMax (101 and 100).
    Calibration a = m4, b = m6;
    a[Klicovani] = b[Klicovani] = 0;
    EXPECT_EQ(a[AdvanceMax], 101);
    EXPECT_EQ(b[AdvanceMax], 100);
    a[AdvanceMax] = b[AdvanceMax] = 0;
    EXPECT_EQ(a, b);
    EXPECT_EQ(m13[AdvanceMax], 60);
    EXPECT_EQ(m13[MODEL_CONST], 70);
    EXPECT_EQ(series(m13, Advance1), (std::vector<int>{16, 30, 38, 35, 39, 40, 39, 39, 34, 34}));
    EXPECT_EQ(series(m13, KOR23_0), series(m4, KOR23_0));
    EXPECT_EQ(series(defaultsOf(1), MODEL_TAB_0), series(defaultsOf(3), MODEL_TAB_0));
}

TEST(DefaultCalibration, EveryModelPassesTheClampUnchanged) {
    for (int m = 0; m < ModelCount; ++m) {
        const Calibration cal = defaultsOf(m);
        Calibration clamped = cal;
        clamp(clamped);
        for (std::size_t p = 0; p < ParamCount; ++p) {
            EXPECT_EQ(clamped.v[p], cal.v[p]) << "model " << m << " " << paramName(Param(p));
        }
    }
}

TEST(DefaultCalibration, UnknownModelChangesOnlyTheCommonValues) {
    Calibration cal;
    cal.v.fill(0xAB);
    cal[Klicovani] = 20;
    setDefaultCalibration(cal);
    EXPECT_EQ(cal[Klicovani], 20);
    EXPECT_EQ(cal[ExtMonitor], 0xAB);
    // Per-model values and the model table stay.
    for (Param p : {START_JET, TPS_0, TPS_100, Omez1, Omez2, PilotLight, Rpm2Krat, AktBlok,
                    AdvanceMax, ModelFlag, POLOHA_PRO, MODEL_CONST}) {
        EXPECT_EQ(cal[p], 0xAB) << paramName(p);
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(cal[at(Advance1, i)], 0xAB);
        EXPECT_EQ(cal[at(KOR23_0, i)], 0xAB);
        EXPECT_EQ(cal[at(MODEL_TAB_0, i)], 0xAB);
    }
    for (int i = 0; i < 5; ++i) EXPECT_EQ(cal[at(VODA_10, i)], 0xAB);
    // Common values are set.
    EXPECT_EQ(cal[at(JET0_0, 57)], 100);
    EXPECT_EQ(cal[RetardT], 30);
    EXPECT_EQ(cal[at(RpmAdv1, 9)], 160);
}

TEST(ModelTable, FollowsTheModelWithoutTouchingTheTuning) {
    Calibration cal = defaultsOf(0);
    cal[at(Advance1, 3)] = 74;
    cal[Klicovani] = 12;
    applyModelTable(cal);
    EXPECT_EQ(cal[AdvanceMax], 73);
    EXPECT_EQ(cal[ModelFlag], 0);
    EXPECT_EQ(cal[at(Advance1, 3)], 74); // until the next clamp
    EXPECT_EQ(cal[TPS_0], 65);           // still model 0's tuning
    clamp(cal);
    EXPECT_EQ(cal[at(Advance1, 3)], 73);

    const Calibration before = cal;
    cal[Klicovani] = 14;
    applyModelTable(cal);
    cal[Klicovani] = before[Klicovani];
    EXPECT_EQ(cal, before);
}
