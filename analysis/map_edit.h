// Operations on a rectangle of injection map cells, and the exchange of cells with
// spreadsheets as tab-separated text. An operation either changes the map as asked or
// refuses with a reason and changes nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/map_geometry.h"
#include "model/calibration.h"

namespace velmora::analysis {

constexpr int CellMin = 5;
constexpr int CellMax = 250;

// The map's cells row by row (row 0 is the 0 % throttle row) and its speed axis in rpm.
struct MapGrid {
    std::array<std::uint8_t, 100> cells{};
    std::array<int, MapSize> rpms{};

    std::uint8_t& at(int row, int col) { return cells[static_cast<std::size_t>(10 * row + col)]; }
    std::uint8_t at(int row, int col) const {
        return cells[static_cast<std::size_t>(10 * row + col)];
    }
};

MapGrid gridOf(const Calibration& cal);
// Writes the cells (not the axis) back.
void putCells(const MapGrid& grid, Calibration& cal);

// Rows top to bottom and columns left to right, both ends included.
struct Selection {
    int top = 0, left = 0, bottom = 0, right = 0;
    bool valid() const {
        return top >= 0 && left >= 0 && bottom < MapSize && right < MapSize && top <= bottom &&
               left <= right;
    }
    int rows() const { return bottom - top + 1; }
    int cols() const { return right - left + 1; }
};

enum class EditError : std::uint8_t {
    None,
    BadSelection,
    AxisNotRising,    // interpolation along the speed axis needs a rising axis
    NotANumber,       // a pasted field that is not a number
    NotWhole,         // a pasted decimal: the map holds whole percents, no rounding is guessed
    OutOfRange,       // a pasted number outside 5..250
    RaggedRows,       // pasted rows of different lengths
    TooLarge,         // more text than a map could ever hold
    Empty,            // no numbers at all
    SelectionTooSmall // interpolation needs two cells in its direction
};

struct EditResult {
    EditError error = EditError::None;
    int row = -1, col = -1; // where a paste failed, 0-based within the pasted block
    std::string field;      // the offending field, cut to 20 characters
    bool ok() const { return error == EditError::None; }
};

enum class Interpolation { Horizontal, Vertical, Bilinear };

// Every operation stores its results limited to 5..250, rounded to the nearest whole percent.
EditResult setCells(MapGrid& g, const Selection& s, int value);
EditResult addToCells(MapGrid& g, const Selection& s, int delta);
EditResult scaleCells(MapGrid& g, const Selection& s, double percent); // 105: +5 %
// Straight lines between the selection's edges, spaced by the axes' values.
EditResult interpolateCells(MapGrid& g, const Selection& s, Interpolation how);
// Each selected cell becomes the weighted mean of itself (4), its side neighbours (2 each)
// and its corner neighbours (1 each), taken from the map before the operation.
EditResult smoothCells(MapGrid& g, const Selection& s);

// More text than this is refused before it is read.
constexpr std::size_t MaxPasteBytes = 64 * 1024;

struct PastedBlock {
    EditResult result;
    std::vector<std::vector<int>> rows;
};

// Tab-separated rows of whole numbers; blank fields at a row's end (as spreadsheets write
// them) are dropped. A decimal number ("10.5", "10,5") is refused, never rounded or read
// without its separator. Every row must have as many numbers.
PastedBlock parsePaste(std::string_view text);
// Puts a block with its top-left cell at (row, col); what lies beyond the map is cut off.
// Returns the selection that was changed.
Selection pasteBlock(MapGrid& g, const PastedBlock& block, int row, int col);
// The selected cells as tab-separated rows, each ending in a line break.
std::string copyText(const MapGrid& g, const Selection& s);

} // namespace velmora::analysis
