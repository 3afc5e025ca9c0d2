#include "model/calibration.h"
#include "tests/common/calibrations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>

using namespace velmora;

namespace {

struct Placement {
    const char* name;
    int offset;
};

// Written from the unit's layout table, not from the code's own tables.
const Placement kPlacements[] = {
    {"Klicovani", 22},   {"Omez1", 23},        {"Omez2", 24},        {"gcClutch", 25},
    {"PilotLight", 26},  {"AdvanceMax", 27},   {"PRIV_HYSTER", 28},  {"RpmAdv1", 40},
    {"RpmAdv5", 44},     {"RpmAdv10", 49},     {"Advance1", 50},     {"Advance10", 59},
    {"JET0_0", 60},      {"JET0_9", 69},       {"JET1_0", 70},       {"JET4_7", 107},
    {"JET9_9", 159},     {"RPM_JET_0", 160},   {"RPM_JET_9", 169},   {"KOR23_0", 170},
    {"KOR23_9", 179},    {"MODEL_TAB_0", 180}, {"MODEL_TAB_9", 189}, {"VODA_10", 190},
    {"VODA20", 191},     {"VODA50", 192},      {"VODA80", 193},      {"VODA110", 194},
    {"VZDUCH_10", 195},  {"VZDUCH20", 196},    {"VZDUCH50", 197},    {"VZDUCH80", 198},
    {"VZDUCH110", 199},  {"TPS_0", 200},       {"TPS_100", 201},     {"AKCEL_PRAH", 202},
    {"AKCEL_JET", 203},  {"MODEL_CONST", 204}, {"POLOHA_PRO", 205},  {"START_JET", 206},
    {"CHLAZENI", 207},   {"Gas1", 208},        {"Gas2", 209},        {"GasT", 210},
    {"GasD", 211},       {"Retard1", 212},     {"Retard2", 213},     {"RetardT", 214},
    {"RetardD", 215},    {"RPM_PRIV_0", 220},  {"RPM_PRIV_9", 229},  {"NAP_PRIV_0", 230},
    {"NAP_PRIV_9", 239},
};

struct FlagBit {
    const char* name;
    int offset;
    std::uint8_t bit;
};

const FlagBit kFlags[] = {
    {"Rpm2Krat", 20, 0x80},  {"ModelFlag", 20, 0x40}, {"ZakazCteni", 20, 0x20},
    {"GasEnable", 20, 0x10}, {"AktBlok", 21, 0x80},   {"AktClutch", 21, 0x40},
    {"AktOmez1", 21, 0x20},  {"AktRpm", 21, 0x10},    {"AktN2o", 21, 0x08},
};

Param named(const char* name) {
    auto p = findParam(name);
    EXPECT_TRUE(p.has_value()) << name;
    return p.value_or(Klicovani);
}

} // namespace

TEST(CalibrationImage, EachValueLandsAtItsOffsetAndNowhereElse) {
    for (const Placement& pl : kPlacements) {
        Calibration cal;
        cal[named(pl.name)] = 0x5A;
        Image image{};
        pack(cal, image);
        for (int i = 0; i < static_cast<int>(ImageSize); ++i) {
            EXPECT_EQ(image[i], i == pl.offset ? 0x5A : 0) << pl.name << " byte " << i;
        }
        Calibration back;
        Identification id;
        unpack(image, back, id);
        EXPECT_EQ(back, cal) << pl.name;
    }
}

TEST(CalibrationImage, FlagsPackAsTheirBitAndUnpackAsTheMaskedBit) {
    for (const FlagBit& f : kFlags) {
        Calibration cal;
        cal[named(f.name)] = 1; // any non-zero value counts as set
        Image image{};
        pack(cal, image);
        EXPECT_EQ(image[20], f.offset == 20 ? f.bit : 0) << f.name;
        EXPECT_EQ(image[21], f.offset == 21 ? f.bit : 0) << f.name;
    }
    Image ones{};
    ones[20] = ones[21] = 0xFF;
    Calibration cal;
    Identification id;
    unpack(ones, cal, id);
    for (const FlagBit& f : kFlags) EXPECT_EQ(cal[named(f.name)], f.bit) << f.name;
    // A flag written back from its masked value packs to the same bit, with low bits clear.
    Image again{};
    pack(cal, again);
    EXPECT_EQ(again[20], 0xF0);
    EXPECT_EQ(again[21], 0xF8);
}

TEST(CalibrationImage, PackLeavesIdentificationAndReservedBytesAlone) {
    Image image;
    image.fill(0xEE);
    Calibration cal;
    for (std::size_t p = 0; p < ParamCount; ++p) cal.v[p] = static_cast<std::uint8_t>(p * 7);
    pack(cal, image);
    for (int i = 0; i < 240; ++i) {
        const bool untouched = i < 20 || (i >= 29 && i <= 39) || (i >= 216 && i <= 219);
        if (untouched)
            EXPECT_EQ(image[i], 0xEE) << "byte " << i;
        else
            EXPECT_NE(image[i], 0xEE) << "byte " << i << " not written by pack";
    }
}

TEST(CalibrationImage, DefaultCalibrationSurvivesARoundTrip) {
    const Calibration cal = common::defaultsOf(6);
    Image image{};
    pack(cal, image);
    Calibration back;
    back[ExtMonitor] = cal[ExtMonitor];
    Identification id;
    unpack(image, back, id);
    for (std::size_t p = 0; p < ParamCount; ++p) {
        const ParamInfo& info = paramInfo(static_cast<Param>(p));
        const std::uint8_t expected = info.mask ? (cal.v[p] ? info.mask : 0) : cal.v[p];
        EXPECT_EQ(back.v[p], expected) << info.name;
    }
}

TEST(ParameterNames, AreUniqueCaseSensitiveAndFoundAgain) {
    std::set<std::string> seen;
    for (std::size_t p = 0; p < ParamCount; ++p) {
        const std::string name = paramName(static_cast<Param>(p));
        ASSERT_FALSE(name.empty()) << p;
        EXPECT_TRUE(seen.insert(name).second) << name;
        EXPECT_EQ(findParam(name), static_cast<Param>(p));
    }
    EXPECT_EQ(seen.size(), 213u);
    EXPECT_FALSE(findParam("rpmadv1"));
    EXPECT_FALSE(findParam("RpmAdv0"));
    EXPECT_FALSE(findParam("RpmAdv11"));
    EXPECT_FALSE(findParam("VODA10"));
    EXPECT_FALSE(findParam(""));
    EXPECT_EQ(paramInfo(ExtMonitor).imageOffset, -1);
}

TEST(Identification, MonthCodes) {
    const std::pair<int, const char*> months[] = {{25, " 1"}, {13, " 2"}, {32, " 3"}, {35, " 4"},
                                                  {39, " 5"}, {45, " 6"}, {43, " 7"}, {29, " 8"},
                                                  {40, " 9"}, {38, "10"}, {51, "11"}, {12, "12"},
                                                  {0, "00"},  {52, "00"}, {255, "00"}};
    for (auto [code, text] : months) EXPECT_STREQ(monthText(code), text) << code;
}

// Name, number, day, month code, year, hour and minute from block 0, rebuilt alone and by unpack.
TEST(Identification, TextsFromBlockZero) {
    const struct {
        std::array<std::uint8_t, 9> head;
        const char *program, *date, *time;
    } rows[] = {
        {{'A', 'B', 'C', 7, 5, 13, 2, 7, 4}, "ABC07", " 5. 2.2002", "07:04"},
        {{'X', 'Y', 'Z', 42, 31, 12, 3, 16, 21}, "XYZ42", "31.12.2003", "16:21"},
        // A zero name byte ends the program text there.
        {{'A', 0, 'C', 7, 31, 12, 3, 16, 21}, "A", "31.12.2003", "16:21"},
        {{0, 'B', 'C', 7, 31, 12, 3, 16, 21}, "", "31.12.2003", "16:21"},
    };
    for (const auto& row : rows) {
        Image image{};
        std::copy(row.head.begin(), row.head.end(), image.begin());
        const Identification id = rebuildIdentification(image);
        EXPECT_EQ(id.program, row.program) << row.program;
        EXPECT_EQ(id.date, row.date) << row.program;
        EXPECT_EQ(id.time, row.time) << row.program;
        Calibration cal;
        Identification unpacked;
        unpack(image, cal, unpacked);
        EXPECT_EQ(unpacked, id) << row.program;
    }
}

TEST(Identification, OutOfRangeBytesGiveOtherCharactersButKeepTheLengths) {
    Image image;
    image.fill(0xFF);
    const Identification id = rebuildIdentification(image);
    EXPECT_EQ(id.program.size(), 5u);
    EXPECT_EQ(id.date.size(), 10u);
    EXPECT_EQ(id.time.size(), 5u);
    EXPECT_EQ(id.program.substr(3), std::string("I5")); // 255 / 10 = 25 -> 'I'
    EXPECT_EQ(id.date.substr(2, 4), ".00.");
}
