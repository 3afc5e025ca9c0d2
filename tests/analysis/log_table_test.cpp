#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/log_table.h"
#include "crafted_log.h"

namespace velmora::analysis {
namespace {

using testlog::logOf;

const double None = std::nan("");

// The hand calculation: 3 x 3 cells at 1000/2000/3000 rpm and 0/50/100 % throttle; records of
// time, RPM, TPS, the value V and the filter F.
const std::vector<std::vector<double>> CraftedRecords{
    {0.0, 1000, 0, 1, 1},    {0.1, 1100, 10, 3, 1},
    {0.2, 1400, 20, 2, 1},   {0.3, 1500, 0, 10, 1},   // halfway: the upper column
    {0.4, 900, 0, None, 1},  {0.5, 800, 0, 6, 0},     // no value; filtered out
    {0.6, 1000, 0, 4, None}, {0.7, 500, 0, 5, 1},     // filter no number; the edge column
    {0.8, 3000, 100, 7, 1},  {0.9, 5000, 80, 9, 1},   // beyond the edge
    {1.0, 2000, 50, 8, 1},   {1.1, 2000, None, 8, 1}, // no Y
};
const log::LogData Crafted = logOf({"RPM", "TPS", "V", "F"}, CraftedRecords);

CellTableOptions craftedOptions(CellStatistic s, std::size_t minCount) {
    CellTableOptions o;
    o.bins.columns.points = {1000, 2000, 3000};
    o.bins.rows.points = {0, 50, 100};
    o.statistic = s;
    o.minCount = minCount;
    return o;
}

void expectValues(const CellTable& t, const std::vector<double>& want, const char* what) {
    ASSERT_TRUE(t.ok()) << t.error;
    ASSERT_EQ(t.cells.size(), want.size());
    for (std::size_t c = 0; c < want.size(); ++c) {
        if (std::isnan(want[c]))
            EXPECT_TRUE(t.cells[c].empty()) << what << " cell " << c << ": " << t.cells[c].value;
        else
            EXPECT_DOUBLE_EQ(t.cells[c].value, want[c]) << what << " cell " << c;
    }
}

TEST(CellTable, ACraftedLogMatchesTheHandCalculation) {
    const ChannelView value = channel(Crafted, "V"), filter = channel(Crafted, "F");
    const CellChannels ch = cellChannels(Crafted, value, filter);
    const double _ = None;
    const struct {
        CellStatistic statistic;
        std::size_t minCount;
        std::vector<double> cells; // row by row, 0 % throttle first
    } cases[] = {
        {CellStatistic::Mean, 1, {2.75, 10, _, _, 8, _, _, _, 8}},
        {CellStatistic::Median, 1, {2.5, 10, _, _, 8, _, _, _, 8}},
        {CellStatistic::Minimum, 1, {1, 10, _, _, 8, _, _, _, 7}},
        {CellStatistic::Maximum, 1, {5, 10, _, _, 8, _, _, _, 9}},
        {CellStatistic::Count, 1, {4, 1, _, _, 1, _, _, _, 2}},
        {CellStatistic::Count, 2, {4, _, _, _, _, _, _, _, 2}},
        {CellStatistic::Median, 3, {2.5, _, _, _, _, _, _, _, _}},
    };
    for (const auto& c : cases) {
        const CellTable t = cellTable(ch, craftedOptions(c.statistic, c.minCount));
        expectValues(t, c.cells,
                     ("statistic " + std::to_string(static_cast<int>(c.statistic)) + " min " +
                      std::to_string(c.minCount))
                         .c_str());
        EXPECT_EQ(t.counted, 8u);
    }
    const CellTable t = cellTable(ch, craftedOptions(CellStatistic::Mean, 1));
    EXPECT_EQ(t.cell(0, 0).spans, (std::vector<TimeSpan>{{0.0, 0.2}, {0.7, 0.7}}));
    EXPECT_EQ(t.cell(0, 1).spans, (std::vector<TimeSpan>{{0.3, 0.3}}));
    EXPECT_EQ(t.cell(2, 2).spans, (std::vector<TimeSpan>{{0.8, 0.9}}));
    EXPECT_EQ(t.cell(2, 2).count, 2u);

    // A computed value column counts as a recorded one; without the filter 0.5 and 0.6 count.
    const std::vector<double> doubled{2, 6, 4, 20, None, 12, 8, 10, 14, 18, 16, 16};
    expectValues(cellTable(cellChannels(Crafted, doubled), craftedOptions(CellStatistic::Count, 1)),
                 {6, 1, _, _, 1, _, _, _, 2}, "computed");
}

// Each record goes by the speed axis of its moment; a standing engine and a throttle beyond
// 0..100 % stay out.
TEST(CellTable, MapBinsFollowTheRecordedAxis) {
    std::array<int, MapSize> today{1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000};
    std::array<int, MapSize> later = today;
    for (int& r : later) r += 500; // 2600 lies nearest 2500, column 1, instead of 3000
    std::vector<log::ContextEntry> recorded(2);
    recorded[0].context.rpms = today;
    recorded[1].timeMs = 1000;
    recorded[1].context.rpms = later;
    const log::LogData d = logOf({"RPM", "TPS", "V"}, {{0.5, 2600, 5, 1},
                                                       {0.9995, 2600, 5, 1}, // rounds to 1000 ms
                                                       {1.5, 2600, 5, 1},
                                                       {2.0, 0, 5, 1},
                                                       {2.5, 2600, 101, 1}});
    CellTableOptions o;
    o.statistic = CellStatistic::Count;
    o.bins = mapBins(today, recorded);
    const CellTable t = cellTable(cellChannels(d, channel(d, "V")), o);
    ASSERT_TRUE(t.ok()) << t.error;
    EXPECT_EQ(t.cell(2, 2).count, 1u); // 2600 on the first axis: 3000
    EXPECT_EQ(t.cell(2, 1).count, 2u); // on the later one: 2500
    EXPECT_EQ(t.counted, 3u);
    EXPECT_EQ(t.columns.front(), 1000.0); // headed by today's axis
}

TEST(CellTable, TheDifferenceOfTwoRidesNeedsBothAndBadInputIsNamed) {
    const CellChannels first = cellChannels(Crafted, channel(Crafted, "V"), channel(Crafted, "F"));
    const std::vector<double> second{2, 6, 4, 20, None, 12, 8, 10, 14, 18, None, 16};
    const CellTable a = cellTable(first, craftedOptions(CellStatistic::Mean, 2));
    const CellTable b =
        cellTable(cellChannels(Crafted, second), craftedOptions(CellStatistic::Mean, 1));
    // The second ride also fills (0,1) and (1,1) is empty there; the first has too few records.
    const double _ = None;
    expectValues(cellDifference(a, b),
                 {(2 + 6 + 4 + 12 + 8 + 10) / 6.0 - 2.75, _, _, _, _, _, _, _, 8}, "difference");

    CellTableOptions wide = craftedOptions(CellStatistic::Mean, 1);
    wide.bins.columns.points.push_back(4000);
    EXPECT_FALSE(cellDifference(a, cellTable(first, wide)).ok());

    const std::vector<double> shorter{1, 2};
    CellTableOptions flat = craftedOptions(CellStatistic::Mean, 1);
    flat.bins.rows.points = {0, 50, 50};
    CellTableOptions changed = craftedOptions(CellStatistic::Mean, 1);
    changed.bins.columns.changes.push_back({100, {1, 2}});
    const struct {
        CellChannels channels;
        CellTableOptions options;
        std::string error;
        CellTableProblem problem;
        std::string detail; // what the window words the problem by
    } bad[] = {
        {cellChannels(Crafted, shorter), craftedOptions(CellStatistic::Mean, 1),
         "the value channel is not as long as the log", CellTableProblem::ShortChannel, "value"},
        {cellChannels(Crafted, channel(Crafted, "V"), {}, "Speed"),
         craftedOptions(CellStatistic::Mean, 1), "the X channel is missing",
         CellTableProblem::MissingChannel, "X"},
        {first, flat, "the row points do not rise", CellTableProblem::PointsNotRising, "Y"},
        {first, changed, "the column axis from 100 ms has other points than the table",
         CellTableProblem::RecordedAxis, "100"},
    };
    for (const auto& c : bad) {
        const CellTable t = cellTable(c.channels, c.options);
        EXPECT_EQ(t.error, c.error);
        EXPECT_EQ(t.problem, c.problem) << c.error;
        EXPECT_EQ(t.detail, c.detail) << c.error;
    }
}

// A German locale writes decimal commas through printf; a copied table must not.
TEST(CellTable, CopiedTextIsTheSameInEveryLocale) {
    const CellTable t =
        cellTable(cellChannels(Crafted, channel(Crafted, "V"), channel(Crafted, "F")),
                  craftedOptions(CellStatistic::Mean, 2));
    const std::string want = "\t1000\t2000\t3000\n"
                             "0\t2.75\t\t\n"
                             "50\t\t\t\n"
                             "100\t\t\t8\n";
    const std::string before = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"C", "de_DE.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) {
            if (std::getenv("CI") != nullptr) ADD_FAILURE() << name << " is not installed";
            continue;
        }
        EXPECT_EQ(cellTableTsv(t, 3), want) << name;
        EXPECT_EQ(cellTableTsv(t, 1), "\t1000\t2000\t3000\n0\t2.8\t\t\n50\t\t\t\n100\t\t\t8\n")
            << name;
    }
    std::setlocale(LC_ALL, before.c_str());
}

TEST(Scatter, PointsThinToWhatShowsAndAClickFindsTheNearest) {
    const log::LogData d = logOf({"X", "Y", "F"}, {{0.0, 1.2, 1.2, 1},
                                                   {0.1, 1.7, 1.5, 1}, // same pixel, drawn over 0
                                                   {0.2, 5.5, 5.5, 0}, // filtered
                                                   {0.3, None, 5, 1},
                                                   {0.4, 11, 5, 1}, // outside the frame
                                                   {0.5, 10, 10, 1},
                                                   {0.6, 9.5, 0, 1}});
    const std::vector<ScatterPoint> all =
        scatterPoints(d.time, channel(d, "X"), channel(d, "Y"), channel(d, "Y"), channel(d, "F"));
    const auto records = [](const std::vector<ScatterPoint>& ps) {
        std::vector<std::uint32_t> r;
        for (const ScatterPoint& p : ps) r.push_back(p.record);
        return r;
    };
    EXPECT_EQ(records(all), (std::vector<std::uint32_t>{0, 1, 4, 5, 6}));
    EXPECT_EQ(all[1].colour, 1.5f);
    EXPECT_EQ(records(scatterPoints(d.time, channel(d, "X"), channel(d, "Y"), {}, {}, {0.15, 0.5})),
              (std::vector<std::uint32_t>{2, 4, 5}));

    // 10 x 10 pixels over 0..10 both ways; y rises upwards.
    const ScatterFrame frame{0, 10, 0, 10, 10, 10};
    const std::vector<ScatterPoint> shown = decimateScatter(all, frame);
    EXPECT_EQ(records(shown), (std::vector<std::uint32_t>{1, 5, 6}));
    const struct {
        double px, py;
        std::optional<std::size_t> nearest;
    } clicks[] = {
        {1.5, 8.5, 1},            // on the point at (1.7, 1.5)
        {9.6, 0.2, 3},            // near (10, 10): the top right corner
        {9.0, 9.9, 4},            // (9.5, 0) at the bottom
        {10.5, 5.0, 2},           // (11, 5), drawn or not
        {5.0, 5.0, std::nullopt}, // the nearest, (1.7, 1.5), lies 4.8 pixels away
    };
    for (const auto& c : clicks)
        EXPECT_EQ(nearestScatterPoint(all, frame, c.px, c.py, 3.0), c.nearest)
            << c.px << "," << c.py;
    EXPECT_TRUE(decimateScatter(all, {0, 0, 0, 10, 10, 10}).empty()); // no width of values

    // One point in each pixel of a wider frame: every one shows.
    std::vector<ScatterPoint> grid;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 70; ++x) grid.push_back({x + 0.5f, y + 0.5f, 0.0f, 0});
    EXPECT_EQ(decimateScatter(grid, {0, 70, 0, 30, 70, 30}).size(), grid.size());
}

} // namespace
} // namespace velmora::analysis
