#include "sim/options.h"

#include "model/clamp.h"
#include "tests/common/calibrations.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace velmora::sim {
namespace {

ParseResult parse(std::vector<std::string> args) {
    return parseOptions(args);
}

TEST(SimOptions, ReadsBothValueFormsAndFaults) {
    const ParseResult r = parse({"--link", "/tmp/x", "--baud=0", "--drop", "0.25", "--wrong-echo",
                                 "5", "--late=40", "--seed", "9", "--monitor-in-exchange"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.linkPath, "/tmp/x");
    EXPECT_EQ(r.options.baud, 0);
    EXPECT_DOUBLE_EQ(r.options.dropProbability, 0.25);
    EXPECT_EQ(r.options.wrongEchoBlock, 5);
    EXPECT_EQ(r.options.lateMs, 40);
    EXPECT_EQ(r.options.seed, 9u);
    EXPECT_TRUE(r.options.monitorInExchange);
}

TEST(SimOptions, MonitorAtTheTickAndALongRideFasterThanRealTime) {
    const ParseResult r =
        parse({"--link", "/tmp/x", "--monitor", "tick", "--scenario", "ride", "--speed", "60"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.monitorMs, 55);
    EXPECT_TRUE(r.options.ride);
    EXPECT_DOUBLE_EQ(r.options.timeScale, 60.0);
    for (const auto& bad :
         std::vector<std::vector<std::string>>{{"--link", "/tmp/x", "--scenario", "race"},
                                               {"--link", "/tmp/x", "--speed", "0"},
                                               {"--link", "/tmp/x", "--monitor", "ticks"}})
        EXPECT_NE(parse(bad).error, "") << bad[2] << " " << bad[3];
}

TEST(SimOptions, FuelAndWidebandController) {
    ParseResult r = parse({"--link",
                           "/tmp/x",
                           "--wideband=/tmp/wb",
                           "--wb-protocol",
                           "plm",
                           "--wb-lambda",
                           "--wb-stoich",
                           "14.6",
                           "--wb-warmup",
                           "3.5",
                           "--wb-error-at",
                           "20:1.5",
                           "--wb-junk",
                           "0.01",
                           "--delay-ms",
                           "150",
                           "--requirement-seed",
                           "12",
                           "--requirement-spread",
                           "15"});
    ASSERT_EQ(r.error, "");
    const SimOptions& o = r.options;
    EXPECT_EQ(o.widebandPath, "/tmp/wb");
    EXPECT_EQ(o.widebandProtocol, WidebandProtocol::MotecPlm);
    EXPECT_FALSE(o.widebandAfr);
    EXPECT_DOUBLE_EQ(o.widebandStoich, 14.6);
    EXPECT_DOUBLE_EQ(o.widebandWarmupS, 3.5);
    EXPECT_DOUBLE_EQ(o.widebandErrorAtS, 20.0);
    EXPECT_DOUBLE_EQ(o.widebandErrorS, 1.5);
    EXPECT_DOUBLE_EQ(o.widebandJunk, 0.01);
    EXPECT_EQ(o.delayMsAt3000, 150);
    EXPECT_EQ(o.requirementSeed, 12u);
    EXPECT_DOUBLE_EQ(o.requirementSpread, 15.0);

    r = parse({"--link", "/tmp/x", "--wideband", "/tmp/wb", "--wb-protocol", "aem", "--wb-error-at",
               "7", "--requirement", "need.txt"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.widebandProtocol, WidebandProtocol::AemText);
    EXPECT_TRUE(r.options.widebandAfr);
    EXPECT_DOUBLE_EQ(r.options.widebandErrorAtS, 7.0);
    EXPECT_DOUBLE_EQ(r.options.widebandErrorS, 2.0);
    EXPECT_EQ(r.options.requirementFile, "need.txt");
    EXPECT_EQ(parse({"--link", "/tmp/x"}).options.widebandPath, "") << "no controller by default";
}

TEST(SimOptions, RefusesBadCommandLines) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"--link"},
             {"--link", "/tmp/x", "--drop", "1.5"},
             {"--link", "/tmp/x", "--wrong-echo", "0"},
             {"--link", "/tmp/x", "--wrong-echo", "12"},
             {"--link", "/tmp/x", "--baud", "9600x"},
             {"--link", "/tmp/x", "--date", "31.13.2024"},
             {"--link", "/tmp/x", "--time", "24:00"},
             {"--link", "/tmp/x", "--name", "ABCD"},
             {"--link", "/tmp/x", "--model", "14"},
             {"--link", "/tmp/x", "--frobnicate", "1"},
             {"--link", "/tmp/x", "--image", "a", "--params", "b"},
             {"--link", "/tmp/x", "--requirement", "a", "--requirement-seed", "3"},
             {"--link", "/tmp/x", "--requirement-spread", "60"},
             {"--link", "/tmp/x", "--delay-ms", "5"},
             {"--link", "/tmp/x", "--wideband", "/tmp/x"},
             {"--link", "/tmp/x", "--wb-protocol", "auto"},
             {"--link", "/tmp/x", "--wb-stoich", "0"},
             {"--link", "/tmp/x", "--wb-error-at", "5:"},
             {"--link", "/tmp/x", "--wb-error-at", "x:2"},
             {"--link", "/tmp/x", "--wb-junk", "2"},
         }) {
        EXPECT_NE(parse(args).error, "") << (args.empty() ? "" : args.back());
    }
    EXPECT_EQ(parse({"--help"}).error, "");
}

TEST(SimOptions, DefaultImageIsTheModelCalibrationWithTheUnitsIdentification) {
    const ParseResult r = parse({"--link", "x"});
    const ImageResult built = buildInitialImage(r.options);
    ASSERT_EQ(built.error, "");
    Image expected = built.image;
    pack(common::clampedDefaultsOf(6), expected);
    EXPECT_EQ(built.image, expected) << "blocks 1..11 hold the packed defaults";
    EXPECT_EQ(built.image[ReadEnable], 1);
    EXPECT_EQ(built.image[FormatVersion], 5);
}

TEST(SimOptions, IdentificationOptionsOverrideBlockZero) {
    const ParseResult r =
        parse({"--link", "x", "--name", "AB", "--number", "7", "--date", "05.02.2002", "--time",
               "16:21", "--read-enable", "0", "--format-version", "4"});
    ASSERT_EQ(r.error, "");
    const Image image = buildInitialImage(r.options).image;
    const Identification id = rebuildIdentification(image);
    EXPECT_EQ(id.program, std::string("AB", 2));
    EXPECT_EQ(id.date, " 5. 2.2002");
    EXPECT_EQ(id.time, "16:21");
    EXPECT_EQ(image[ReadEnable], 0);
    EXPECT_EQ(image[FormatVersion], 4);
}

TEST(SimOptions, ImageFileMustHoldExactly240Bytes) {
    const std::string path = ::testing::TempDir() + "sim_options_image.bin";
    SimOptions o;
    o.imageFile = path;
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 240; ++i) out.put(static_cast<char>(i));
    }
    ImageResult r = buildInitialImage(o);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.image[239], 239);
    o.number = 3;
    EXPECT_EQ(buildInitialImage(o).image[ProgNumber], 3);
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out.put('x');
    }
    EXPECT_NE(buildInitialImage(o).error, "");
    std::remove(path.c_str());
    EXPECT_NE(buildInitialImage(o).error, "");
}

} // namespace
} // namespace velmora::sim

#ifdef VELMORA_SIM_PARAMS
#include "files/param_file.h"

namespace velmora::sim {
namespace {

TEST(SimOptions, ParameterFileSetsTheCalibrationAndItsModelTable) {
    const std::string path = ::testing::TempDir() + "sim_options_params.ign";
    Calibration cal = common::clampedDefaultsOf(3);
    cal[at(Advance1, 2)] = 17;
    clamp(cal);
    ASSERT_TRUE(saveParamFile(path, cal).ok);
    SimOptions o;
    o.paramsFile = path;
    const ImageResult r = buildInitialImage(o);
    ASSERT_EQ(r.error, "");
    Image expected = r.image;
    pack(cal, expected);
    EXPECT_EQ(r.image, expected);
    std::remove(path.c_str());
    EXPECT_NE(buildInitialImage(o).error, "");
}

} // namespace
} // namespace velmora::sim
#endif
