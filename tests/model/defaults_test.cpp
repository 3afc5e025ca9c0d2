#include "model/calibration.h"
#include "model/clamp.h"
#include "model/defaults.h"
#include "tests/common/calibrations.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace velmora;

using common::defaultsOf;

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

// The values of every model's defaults are checked byte by byte against the typed images in
// golden_images_test.cpp; here what the images cannot show.
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
