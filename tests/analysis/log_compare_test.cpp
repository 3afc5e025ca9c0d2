#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "analysis/log_compare.h"
#include "crafted_log.h"
#include "files/param_file.h"
#include "model/clamp.h"
#include "model/defaults.h"
#include "test_dir.h"

namespace velmora::analysis {
namespace {

using testlog::logOf;
const double None = std::nan("");

// Markers at 1.5 and 4 s; X rises through 15 at 1.5 and 4.5 s and falls through 5 at 3.5 s.
const log::LogData First =
    logOf({"X", "RPM"}, {{0, 0, 1}, {1, 10, 1}, {2, 20, 1}, {3, 10, 1}, {4, 0, 1}, {5, 30, 1}},
          {1.5, 4.0});
// A marker at 12.25 s; X touches 15 at 11 s, would cross 20 and 22 only across a gap, touches
// 5 falling at 14 s and rises through 15 at 15.75 s and to 20 at 16 s.
const log::LogData Second =
    logOf({"X"}, {{10, 5}, {11, 15}, {12, None}, {13, 25}, {14, 5}, {15, 0}, {16, 20}}, {12.25});

TEST(LogCompare, AlignmentMatchesTheHandCalculation) {
    const auto event = [](double value, bool rising, std::size_t nth, double after = -1e9) {
        return CrossingEvent{"X", value, rising, nth, after};
    };
    const struct {
        const char* what;
        Alignment got;
        AlignFailure failure;
        int log;
        double offset;
    } cases[] = {
        {"markers 1 and 1", alignAtMarkers(First, 0, Second, 0), AlignFailure::None, 0, -10.75},
        {"markers 2 and 1", alignAtMarkers(First, 1, Second, 0), AlignFailure::None, 0, -8.25},
        {"no marker 3", alignAtMarkers(First, 2, Second, 0), AlignFailure::NoMarker, 0, 0},
        {"no second marker 2", alignAtMarkers(First, 0, Second, 1), AlignFailure::NoMarker, 1, 0},
        {"times", alignAtTimes(3, 13), AlignFailure::None, 0, -10},
        {"rising, interpolated and touching",
         alignAtEvent(First, event(15, true, 1), Second, event(15, true, 1)), AlignFailure::None, 0,
         1.5 - 11},
        {"rising, not across the gap",
         alignAtEvent(First, event(20, true, 1), Second, event(20, true, 1)), AlignFailure::None, 0,
         2 - 16},
        {"falling", alignAtEvent(First, event(5, false, 1), Second, event(5, false, 1)),
         AlignFailure::None, 0, 3.5 - 14},
        {"second crossing", alignAtEvent(First, event(15, true, 2), Second, event(15, true, 2)),
         AlignFailure::None, 0, 4.5 - 15.75},
        {"first after a time of each",
         alignAtEvent(First, event(15, true, 1, 2), Second, event(15, true, 1, 12)),
         AlignFailure::None, 0, 4.5 - 15.75},
        {"no third crossing", alignAtEvent(First, event(15, true, 3), Second, event(15, true, 1)),
         AlignFailure::NoCrossing, 0, 0},
        {"only across the gap", alignAtEvent(First, event(22, true, 1), Second, event(22, true, 1)),
         AlignFailure::NoCrossing, 1, 0},
        {"no crossing in a flat channel",
         alignAtEvent(First, CrossingEvent{"RPM", 0.5, true, 1}, Second,
                      CrossingEvent{"RPM", 0.5, true, 1}),
         AlignFailure::NoCrossing, 0, 0},
        {"missing in the second",
         alignAtEvent(First, event(15, true, 1), Second, CrossingEvent{"RPM", 0.5, true, 1}),
         AlignFailure::NoChannel, 1, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got.failure, c.failure) << c.what << ": " << c.got.error;
        if (c.failure == AlignFailure::None)
            EXPECT_DOUBLE_EQ(c.got.offset, c.offset) << c.what;
        else
            EXPECT_EQ(c.got.log, c.log) << c.what;
    }

    const SharedChannels shared = sharedChannels({"RPM", "X", "TPS"}, Second);
    EXPECT_EQ(shared.common, std::vector<std::string>{"X"});
    EXPECT_EQ(shared.missing, (std::vector<std::string>{"RPM", "TPS"}));
}

// The second ride was recorded with the speed axis 500 rpm higher: its 2600 rpm lies in the
// 2500 column, headed 2000 by today's axis.
TEST(LogCompare, TwoRidesOnTheAxesTheyWereRecordedWith) {
    const std::array<int, MapSize> today{1000, 2000, 3000, 4000, 5000,
                                         6000, 7000, 8000, 9000, 10000};
    std::vector<log::ContextEntry> later(1);
    for (std::size_t k = 0; k < later[0].context.rpms.size(); ++k)
        later[0].context.rpms[k] = today[k] + 500;
    const log::LogData a = logOf({"RPM", "TPS", "V"}, {{0, 2600, 5, 1}, {1, 2600, 5, 3}});
    const log::LogData b = logOf({"RPM", "TPS", "V"}, {{0, 2600, 5, 3}, {1, 3000, 5, 2}});
    const Ride first{cellChannels(a, channel(a, "V")), {}};
    const Ride second{cellChannels(b, channel(b, "V")), later};
    CellTableOptions chosen;
    chosen.bins = mapBins(today);
    const struct {
        const std::array<int, MapSize>* today;
        double secondAt2000, secondAt3000, difference;
    } cases[] = {{&today, 3, 2, 2 - 2.0}, {nullptr, None, 2.5, 2.5 - 2}};
    for (const auto& c : cases) {
        const RideCells t = rideCells(first, second, chosen, c.today);
        ASSERT_TRUE(t.difference.ok()) << t.difference.error;
        EXPECT_EQ(t.first.cell(2, 2).value, 2.0);
        EXPECT_TRUE(t.first.cell(2, 1).empty());
        if (std::isnan(c.secondAt2000))
            EXPECT_TRUE(t.second.cell(2, 1).empty());
        else
            EXPECT_EQ(t.second.cell(2, 1).value, c.secondAt2000);
        EXPECT_EQ(t.second.cell(2, 2).value, c.secondAt3000);
        EXPECT_EQ(t.difference.cell(2, 2).value, c.difference);
        EXPECT_TRUE(t.difference.cell(2, 1).empty()); // the first ride never ran there
        EXPECT_EQ(t.second.columns[1], 2000.0);
    }
}

TEST(LogCompare, OnlyAFileThatPacksToTheRecordedImageGivesAMapDifference) {
    test::TestDir dir;
    Calibration cal;
    cal[Klicovani] = 6;
    setDefaultCalibration(cal);
    clamp(cal);
    Calibration richer = cal;
    richer[jetCell(2, 3)] = 110;
    Image unit{};
    unit[ProgName] = 'V'; // a calibration read from a unit: the file lacks these bytes
    unit[FormatVersion] = 5;
    const auto entry = [](const Calibration& c, const Image& image, const std::string& file,
                          std::uint32_t ms = 0) {
        return log::ContextEntry{ms, log::contextOf(c, {}, image, file)};
    };
    const std::string ride = dir.file("ride.ign"), since = dir.file("since.ign");
    ASSERT_TRUE(saveParamFile(ride, cal).ok);
    ASSERT_TRUE(saveParamFile(since, richer).ok);
    const std::string logPath = dir.file("a.mlg");
    const std::vector<CalibrationBase> window{{cal, unit}};
    const struct {
        const char* what;
        std::vector<log::ContextEntry> recorded;
        std::vector<CalibrationBase> bases;
        RideCalibrationState state;
        bool changedDuringRide;
    } cases[] = {
        {"as recorded", {entry(cal, {}, ride)}, {}, RideCalibrationState::Earned, false},
        {"by its name beside the log",
         {entry(cal, {}, "ride.ign")},
         {},
         RideCalibrationState::Earned,
         false},
        {"changed since", {entry(cal, {}, since)}, {}, RideCalibrationState::Changed, false},
        {"missing",
         {entry(cal, {}, dir.file("gone.ign"))},
         {},
         RideCalibrationState::NotFound,
         false},
        {"no file named", {entry(cal, {}, "")}, {}, RideCalibrationState::NoContext, false},
        {"no context", {}, {}, RideCalibrationState::NoContext, false},
        {"read from a unit", {entry(cal, unit, ride)}, {}, RideCalibrationState::Changed, false},
        {"read from a unit, the window's image",
         {entry(cal, unit, ride)},
         window,
         RideCalibrationState::Earned,
         false},
        {"changed during the ride",
         {entry(cal, {}, ride), entry(richer, {}, since, 5000)},
         {},
         RideCalibrationState::Earned,
         true},
    };
    for (const auto& c : cases) {
        const RideCalibration got = rideCalibration(c.recorded, 0.0, logPath, c.bases);
        EXPECT_EQ(got.state, c.state) << c.what;
        EXPECT_EQ(got.changedDuringRide, c.changedDuringRide) << c.what;
        if (got.earned()) {
            EXPECT_TRUE(got.calibration == cal) << c.what;
        }
    }
    // Started after the change: the later entry is the one in force.
    const RideCalibration late =
        rideCalibration({entry(cal, {}, ride), entry(richer, {}, since, 5000)}, 6.0, logPath);
    ASSERT_TRUE(late.earned());
    EXPECT_EQ(late.calibration[jetCell(2, 3)], 110);

    const MapDifference d = mapDifference(cal, late.calibration, rpmAxis(cal));
    EXPECT_EQ(d.points.cell(2, 3).value, 10.0);
    EXPECT_EQ(d.percent.cell(2, 3).value, 10.0);
    EXPECT_EQ(d.points.cell(3, 2).value, 0.0);
    EXPECT_EQ(d.points.columns.front(), 100.0 * cal[RPM_JET_0]);
}

} // namespace
} // namespace velmora::analysis
