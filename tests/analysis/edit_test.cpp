#include <gtest/gtest.h>

#include "analysis/map_edit.h"

namespace velmora::analysis {
namespace {

MapGrid sampleGrid() {
    MapGrid g;
    g.rpms = {1000, 2000, 3000, 4000, 6000, 8000, 10000, 12000, 14000, 16000};
    for (int r = 0; r < MapSize; ++r)
        for (int c = 0; c < MapSize; ++c) g.at(r, c) = static_cast<std::uint8_t>(60 + 5 * r + c);
    return g;
}

const Selection Whole{0, 0, 9, 9};

TEST(MapEdit, ArithmeticStaysWithinTheCellRangeAndTheSelection) {
    MapGrid g = sampleGrid();
    const MapGrid before = g;
    const Selection s{2, 3, 4, 5};
    ASSERT_TRUE(setCells(g, s, 300).ok());
    for (int r = 0; r < MapSize; ++r)
        for (int c = 0; c < MapSize; ++c)
            EXPECT_EQ(g.at(r, c), r >= 2 && r <= 4 && c >= 3 && c <= 5 ? 250 : before.at(r, c));
    g = before;
    addToCells(g, Whole, -200);
    EXPECT_EQ(g.at(0, 0), 5);
    EXPECT_EQ(g.at(9, 9), 5);
    g = before;
    addToCells(g, Whole, 1);
    EXPECT_EQ(g.at(3, 4), before.at(3, 4) + 1);
    g = before;
    scaleCells(g, Whole, 105);
    EXPECT_EQ(g.at(0, 0), 63);  // 60 x 1.05
    EXPECT_EQ(g.at(9, 9), 120); // 114 x 1.05 = 119.7
    g = before;
    EXPECT_FALSE(scaleCells(g, Whole, -5).ok());
    EXPECT_FALSE(setCells(g, {5, 5, 4, 4}, 100).ok());
    EXPECT_FALSE(setCells(g, {0, 0, 10, 9}, 100).ok());
    EXPECT_EQ(g.cells, before.cells);
}

TEST(MapEdit, InterpolationFollowsTheAxesValues) {
    MapGrid g = sampleGrid();
    g.at(0, 0) = 100;
    g.at(0, 4) = 200; // 1000 .. 6000 rpm: 3000 rpm lies 2/5 of the way
    ASSERT_TRUE(interpolateCells(g, {0, 0, 0, 4}, Interpolation::Horizontal).ok());
    EXPECT_EQ(g.at(0, 1), 120);
    EXPECT_EQ(g.at(0, 2), 140);
    EXPECT_EQ(g.at(0, 3), 160);
    EXPECT_EQ(g.at(0, 4), 200);
    g.at(0, 9) = 50;
    g.at(9, 9) = 150; // rows 0..100 %: 20 % is a fifth of the way
    ASSERT_TRUE(interpolateCells(g, {0, 9, 9, 9}, Interpolation::Vertical).ok());
    EXPECT_EQ(g.at(4, 9), 70);
    EXPECT_EQ(g.at(7, 9), 110);
    // Bilinear from the corners reproduces a plane through them.
    g.at(2, 2) = 100;
    g.at(2, 6) = 140;
    g.at(6, 2) = 120;
    g.at(6, 6) = 160;
    ASSERT_TRUE(interpolateCells(g, {2, 2, 6, 6}, Interpolation::Bilinear).ok());
    for (int r = 2; r <= 6; ++r) {
        for (int c = 2; c <= 6; ++c) {
            const double tx = (g.rpms[c] - 3000.0) / 7000.0;
            const double ty = (ThrottleAxis[r] - 5.0) / 35.0;
            EXPECT_NEAR(g.at(r, c), 100 + 40 * tx + 20 * ty, 0.5) << r << "," << c;
        }
    }
}

TEST(MapEdit, InterpolationRefusesAFallingAxisOrASingleLine) {
    MapGrid g = sampleGrid();
    g.rpms[5] = g.rpms[4];
    const MapGrid before = g;
    EXPECT_EQ(interpolateCells(g, Whole, Interpolation::Horizontal).error,
              EditError::AxisNotRising);
    EXPECT_EQ(interpolateCells(g, Whole, Interpolation::Bilinear).error, EditError::AxisNotRising);
    EXPECT_EQ(interpolateCells(g, {0, 0, 0, 9}, Interpolation::Vertical).error,
              EditError::SelectionTooSmall);
    EXPECT_EQ(g.cells, before.cells);
    // Down the throttle rows the speed axis does not matter.
    EXPECT_TRUE(interpolateCells(g, Whole, Interpolation::Vertical).ok());
}

TEST(MapEdit, SmoothingKeepsPlanesAndSpreadsASpike) {
    MapGrid g;
    g.cells.fill(100);
    g.at(5, 5) = 200;
    smoothCells(g, Whole);
    EXPECT_EQ(g.at(5, 5), 125); // (4 x 200 + 12 x 100) / 16
    EXPECT_EQ(g.at(5, 6), 113); // 2 x 100 / 16 more than 100, rounded
    EXPECT_EQ(g.at(0, 0), 100);
    MapGrid plane = sampleGrid();
    const MapGrid before = plane;
    smoothCells(plane, {1, 1, 8, 8}); // inside cells see a full, symmetric neighbourhood
    for (int r = 1; r <= 8; ++r)
        for (int c = 1; c <= 8; ++c) EXPECT_EQ(plane.at(r, c), before.at(r, c));
}

TEST(MapEdit, PasteAcceptsWhatSpreadsheetsWrite) {
    std::string text;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c)
            text += std::to_string(100 + r + c) + (c < 9 ? "\t" : "\t\r\n");
    }
    const PastedBlock b = parsePaste(text);
    ASSERT_TRUE(b.result.ok());
    MapGrid g = sampleGrid();
    const Selection s = pasteBlock(g, b, 0, 0);
    EXPECT_EQ(s.rows(), 10);
    EXPECT_EQ(s.cols(), 10);
    EXPECT_EQ(g.at(9, 9), 118);
    // Copy gives back the same numbers.
    EXPECT_TRUE(parsePaste(copyText(g, Whole)).rows == b.rows);
    // A block too big is cut at the map's edge.
    const PastedBlock d = parsePaste("100\t+100\n 101 \t102\n");
    ASSERT_TRUE(d.result.ok());
    EXPECT_EQ(d.rows, (std::vector<std::vector<int>>{{100, 100}, {101, 102}}));
    const Selection cut = pasteBlock(g, d, 9, 9);
    EXPECT_EQ(cut.rows(), 1);
    EXPECT_EQ(cut.cols(), 1);
    EXPECT_EQ(g.at(9, 9), 100);
}

TEST(MapEdit, PasteRefusesBadTextWithAReason) {
    struct Case {
        std::string text;
        EditError error;
        int row, col;
    };
    const Case cases[] = {
        {"100\t10O\n", EditError::NotANumber, 0, 1},
        {"100\t-5\n", EditError::OutOfRange, 0, 1},
        {"100\t256\n", EditError::OutOfRange, 0, 1},
        {"100\t251\n", EditError::OutOfRange, 0, 1},
        {"100\t4\n", EditError::OutOfRange, 0, 1},
        {"100\t100\n100\n", EditError::RaggedRows, 1, 1},
        {"100\t\t100\n", EditError::NotANumber, 0, 1},
        {"1e2\n", EditError::NotANumber, 0, 0},
        // A decimal is refused, neither rounded (11) nor read without its separator (105).
        {"100\t10.5\n", EditError::NotWhole, 0, 1},
        {"100\t10,5\n", EditError::NotWhole, 0, 1},
        {"100\t100\n1.05\t100\n", EditError::NotWhole, 1, 0},
        {"99,6\n", EditError::NotWhole, 0, 0},
        {"100.0\n", EditError::NotWhole, 0, 0},
        {"1.0.5\n", EditError::NotANumber, 0, 0},
        {"\n\n", EditError::Empty, -1, -1},
        {"", EditError::Empty, -1, -1},
        {std::string(1 << 20, '1'), EditError::TooLarge, -1, -1},
    };
    for (const Case& c : cases) {
        const PastedBlock b = parsePaste(c.text);
        EXPECT_EQ(b.result.error, c.error) << c.text.substr(0, 20);
        EXPECT_EQ(b.result.row, c.row) << c.text.substr(0, 20);
        EXPECT_EQ(b.result.col, c.col) << c.text.substr(0, 20);
        EXPECT_TRUE(b.rows.empty());
        MapGrid g = sampleGrid();
        const MapGrid before = g;
        pasteBlock(g, b, 0, 0);
        EXPECT_EQ(g.cells, before.cells);
    }
}

} // namespace
} // namespace velmora::analysis
