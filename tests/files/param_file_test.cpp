#include "files/param_file.h"
#include "test_dir.h"
#include "tests/common/calibrations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace velmora;
using velmora::test::model6;
using velmora::test::readFile;
using velmora::test::TestDir;
using velmora::test::writeFile;

namespace {

bool isSwitch(Param p) {
    return std::find(std::begin(common::Switches), std::end(common::Switches), p) !=
           std::end(common::Switches);
}

bool notInTheFile(Param p) {
    return p == POLOHA_PRO || p == AdvanceMax || p == ModelFlag || p == MODEL_CONST ||
           (p >= MODEL_TAB_0 && p <= at(MODEL_TAB_0, 9));
}

// A calibration with every value the file can carry: any byte, switches 0 or 1.
Calibration randomCalibration(unsigned seed) {
    std::mt19937 rng(seed);
    Calibration cal;
    for (std::size_t p = 0; p < ParamCount; ++p) {
        cal.v[p] = static_cast<std::uint8_t>(isSwitch(static_cast<Param>(p)) ? rng() % 2 : rng());
    }
    return cal;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t begin = 0;
    for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", begin)) {
        out.push_back(text.substr(begin, end - begin));
        begin = end + 2;
    }
    out.push_back(text.substr(begin));
    return out;
}

Calibration parsed(std::string_view text, Calibration start = model6()) {
    parseParamFile(text, start);
    return start;
}

} // namespace

TEST(ParamFile, DefaultFileOfModel6MatchesTheHandWrittenFileByteForByte) {
    const std::string golden = readFile(VELMORA_FILES_TEST_DATA "/model6.ign");
    ASSERT_EQ(golden.size(), 1725u);
    EXPECT_EQ(formatParamFile(model6()), golden);
}

TEST(ParamFile, SwitchesAndScaledValuesAreWrittenAsShown) {
    Calibration cal = model6();
    cal[GasEnable] = 0x10; // flags from an unpack hold their bit
    cal[ZakazCteni] = 0x20;
    cal[ExtMonitor] = 1;
    cal[TPS_100] = 200;
    cal[TPS_0] = 255;
    cal[GasT] = 255;
    cal[AKCEL_JET] = 255;
    const auto l = lines(formatParamFile(cal));
    ASSERT_EQ(l.size(), 43u);
    EXPECT_EQ(l[7], "N2O             1   20    60  2000 25500 ");
    EXPECT_EQ(l[15], "NO_READING      1");
    EXPECT_EQ(l[17], "EXT_MON         1");
    EXPECT_EQ(l[37], "TPS          2550  4500 ");
    EXPECT_EQ(l[38], "ACCEL         300  7650 ");
}

TEST(ParamFile, SaveThenOpenRestoresAll199Parameters) {
    TestDir dir;
    for (unsigned seed : {1u, 2u, 3u}) {
        const Calibration saved = randomCalibration(seed);
        ASSERT_TRUE(saveParamFile(dir.file("a.ign"), saved));
        Calibration opened = randomCalibration(seed + 100);
        const Calibration before = opened;
        ASSERT_TRUE(openParamFile(dir.file("a.ign"), opened));
        int carried = 0;
        for (std::size_t p = 0; p < ParamCount; ++p) {
            const auto param = static_cast<Param>(p);
            if (notInTheFile(param)) {
                EXPECT_EQ(opened[param], before[param]) << paramName(param);
            } else {
                ++carried;
                EXPECT_EQ(opened[param], saved[param]) << paramName(param);
            }
        }
        EXPECT_EQ(carried, 199);
    }
}

TEST(ParamFile, LineOrderBlanksAndLineEndsDoNotMatter) {
    const Calibration original = randomCalibration(7);
    const std::string text = formatParamFile(original);
    auto shuffled = lines(text);
    std::mt19937 rng(3);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    std::string joined;
    for (const auto& l : shuffled) joined += l + "\n";

    std::string tabs = text, newlines = text, mixed = text;
    std::replace(tabs.begin(), tabs.end(), ' ', '\t');
    std::replace(newlines.begin(), newlines.end(), ' ', '\n');
    std::replace(mixed.begin(), mixed.end(), '\n', '\f');
    std::replace(mixed.begin(), mixed.end(), '\r', '\v');

    for (const std::string* t : {&joined, &tabs, &newlines, &mixed}) {
        EXPECT_EQ(parsed(*t, Calibration{}), parsed(text, Calibration{}));
    }
    EXPECT_EQ(parsed(text, Calibration{})[at(Advance1, 9)], original[at(Advance1, 9)]);
}

TEST(ParamFile, OnlyExactKeysAreRead) {
    const Calibration start = model6();
    EXPECT_EQ(parsed("LIMITER1 8000"), [&] {
        Calibration c = start;
        c[Omez1] = 80;
        return c;
    }());
    EXPECT_EQ(parsed("limiter1 8000 Limiter1 7000 LIMITER 6000 LIMITER1x 5000 xLIMITER1 4000"),
              start);
    // Words and surplus numbers between lines are skipped.
    const Calibration c = parsed("# my bike\r\nCLUTCH 255 300 400 words ; KEYING 3 4");
    EXPECT_EQ(c[gcClutch], 25);
    EXPECT_EQ(c[Klicovani], 3);
    EXPECT_EQ(c[Omez1], start[Omez1]);
    // The last occurrence of a key decides.
    EXPECT_EQ(parsed("COOLING 80 COOLING 95")[CHLAZENI], 95);
}

TEST(ParamFile, NumbersAreCutToTheirField) {
    const Calibration c = parsed("CLUTCH 255\n"
                                 "LIMITER1 65636\n" // 100 modulo 65536
                                 "KEYING 70000\n"   // 4464 = 0x1170
                                 "RPM2 2\n"         // a switch keeps its number
                                 "TPS 9999 2490\n"  // below 2500 mV wraps
                                 "ACCEL 25 7679\n"  // 2 and 255
                                 "START_JET 0000000000000000000000042"); // leading zeros
    EXPECT_EQ(c[gcClutch], 25);
    EXPECT_EQ(c[Omez1], 1);
    EXPECT_EQ(c[Klicovani], 0x70);
    EXPECT_EQ(c[Rpm2Krat], 2);
    EXPECT_EQ(c[TPS_0], static_cast<std::uint8_t>(999));
    EXPECT_EQ(c[TPS_100], 255);
    EXPECT_EQ(c[AKCEL_PRAH], 2);
    EXPECT_EQ(c[AKCEL_JET], 255);
    EXPECT_EQ(c[START_JET], 42);
    // A number of any length is taken modulo 65536: 10^100000 mod 65536 = 0.
    EXPECT_EQ(parsed("COOLING 1" + std::string(100000, '0'))[CHLAZENI], 0);
}

TEST(ParamFile, FailedNumberTakesTheLastNumberReadWithItsOwnFactor) {
    // ADVANCE with three numbers: the rest take the third, and LIMITER1 is still read.
    const Calibration c = parsed("ADVANCE 10 20 30\r\nLIMITER1 8000\r\n");
    for (int i = 0; i < 10; ++i) EXPECT_EQ(c[at(Advance1, i)], i < 3 ? 10 * (i + 1) : 30) << i;
    EXPECT_EQ(c[Omez1], 80);

    // The fields after a failure convert 2000 with their own factor.
    const Calibration n = parsed("CLUTCH 2000 N2O x TPS");
    EXPECT_EQ(n[gcClutch], 200);
    EXPECT_EQ(n[GasEnable], 2000 & 0xFF);
    EXPECT_EQ(n[Gas2], 2000 & 0xFF);
    EXPECT_EQ(n[GasT], 20);
    EXPECT_EQ(n[TPS_0], 200);
    EXPECT_EQ(n[TPS_100], (200 + 6) & 0xFF);

    // Digits glued to a word: the number is read, the word is met as the next token.
    const Calibration g = parsed("KEYING 3LIMITER1 9000");
    EXPECT_EQ(g[Klicovani], 3);
    EXPECT_EQ(g[Omez1], 90);

    // Before any number was read a failed field keeps its value.
    const Calibration start = model6();
    EXPECT_EQ(parsed("ADVANCE\nLIMITER1 x"), start);
    EXPECT_EQ(parsed("RPM_IGN -5"), start);
}

TEST(ParamFile, AnyBytesAreReadWithoutHarm) {
    using namespace std::string_literals;
    const Calibration start = model6();
    std::mt19937 rng(9);
    std::string junk(1u << 20, '\0');
    for (auto& ch : junk) ch = static_cast<char>(rng());
    parsed(junk); // must only terminate cleanly

    EXPECT_EQ(parsed("\0\0\0LIMITER1\0 5000 \0"s), start);
    EXPECT_EQ(parsed("\xFF\x80 LIMITER1\t5000\x1A"s)[Omez1], 50);

    // A token of 100 000 and one of 4 MiB are skipped; the keys after them are read.
    const std::string longTokens = std::string(100000, 'A') + " LIMITER1 8000 " + "RPM_IGN" +
                                   std::string(4u << 20, '7') + " COOLING 70";
    const Calibration c = parsed(longTokens);
    EXPECT_EQ(c[Omez1], 80);
    EXPECT_EQ(c[RpmAdv1], start[RpmAdv1]);
    EXPECT_EQ(c[CHLAZENI], 70);

    // The file may end anywhere: inside a line or right after a key.
    EXPECT_EQ(parsed("COOLING 77")[CHLAZENI], 77);
    const Calibration e = parsed("COOLING 77 WATER_TEMP 1");
    EXPECT_EQ(e[VODA_10], 1);
    EXPECT_EQ(e[VODA110], 1);
    EXPECT_EQ(parsed("")[CHLAZENI], start[CHLAZENI]);
}

TEST(ParamFile, OpenReadsLargeFilesInPieces) {
    TestDir dir;
    std::string text(3u << 20, 'x');
    text += "\nLIMITER2 13000\n" + std::string(200000, ' ') + "LIMITER1 9000";
    writeFile(dir.file("big.ign"), text);
    Calibration cal = model6();
    ASSERT_TRUE(openParamFile(dir.file("big.ign"), cal));
    EXPECT_EQ(cal[Omez2], 130);
    EXPECT_EQ(cal[Omez1], 90);
}

TEST(ParamFile, OpenFailsOnMissingFilesAndDirectoriesAndChangesNothing) {
    TestDir dir;
    Calibration cal = model6();
    EXPECT_FALSE(openParamFile(dir.file("none.ign"), cal));
    EXPECT_FALSE(openParamFile(dir.path(), cal));
    EXPECT_EQ(cal, model6());
}

TEST(ParamFile, FailedSaveLeavesThePreviousFile) {
    TestDir dir;
    const std::string path = dir.file("bike.ign");
    ASSERT_TRUE(saveParamFile(path, model6()));
    const std::string before = readFile(path);
    if (!dir.makeReadOnly()) GTEST_SKIP() << "cannot make a read-only directory here";
    Calibration changed = model6();
    changed[Omez1] = 90;
    const WriteResult r = saveParamFile(path, changed);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.path, path);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(velmora::test::countEntries(dir.path()), 1u);

    EXPECT_FALSE(saveParamFile(dir.file("missing/bike.ign"), changed));
}

// A save killed part way leaves its temporary file; the next save removes those of processes
// that no longer run and keeps those of running ones.
TEST(ParamFile, SaveRemovesTemporariesLeftByDeadProcesses) {
    TestDir dir;
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = dir.file(".bike.ign.tmp" + std::to_string(child) + "-0");
    const std::string running = dir.file(".bike.ign.tmp1-0"); // init always runs
    const std::string other = dir.file(".other.ign.tmp" + std::to_string(child) + "-0");
    for (const std::string& f : {dead, running, other}) writeFile(f, "left over");

    ASSERT_TRUE(saveParamFile(dir.file("bike.ign"), common::defaultsOf(0)));
    EXPECT_NE(::access(dead.c_str(), F_OK), 0);
    EXPECT_EQ(::access(running.c_str(), F_OK), 0);
    EXPECT_EQ(::access(other.c_str(), F_OK), 0);
    EXPECT_EQ(velmora::test::countEntries(dir.path()), 3u);
}
