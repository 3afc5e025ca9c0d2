// Where an operating point lies on the injection map, and the colours the map is drawn in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "model/calibration.h"

namespace velmora::analysis {

constexpr int MapSize = 10;

// Throttle opening of each map row, in percent.
constexpr std::array<int, MapSize> ThrottleAxis{0, 2, 5, 10, 20, 30, 40, 60, 80, 100};

// The speed columns of a calibration in rpm (RPM_JET_0..9 x 100).
std::array<int, MapSize> rpmAxis(const Calibration& cal);
// Whether every axis point lies above the one before it.
bool axisRises(const std::array<int, MapSize>& axis);

struct CellWeight {
    int row = 0, col = 0;
    double weight = 0.0;
};

// An operating point between the cells: the four surrounding cells with their bilinear weights
// (summing to 1), the fractional row and column (row 2.5 lies halfway between rows 2 and 3) and
// the cell nearest to it.
struct MapPoint {
    double row = 0.0, col = 0.0;
    int nearestRow = 0, nearestCol = 0;
    std::array<CellWeight, 4> cells{};
};

// A speed below the first or above the last axis point lies on the edge column, as the unit
// holds the edge value there. Nothing for a speed of 0, a throttle outside 0..100 % (a sensor
// fault) or a speed axis that does not rise.
std::optional<MapPoint> locate(int rpm, int throttlePercent, const std::array<int, MapSize>& rpms);

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// Lean blue below 100 %, green at 100 %, rich red above, even in perceived steps; the span
// reaches its ends at 100 - HeatSpan and 100 + HeatSpan percent.
constexpr int HeatSpan = 40;
Rgb heatColour(int percent);
// Black or white, whichever contrasts more with the background.
Rgb textColourOn(Rgb background);
// WCAG contrast ratio of two colours, 1 to 21.
double contrastRatio(Rgb a, Rgb b);
// Distance of two colours in the OKLab space (perceived difference).
double perceivedDistance(Rgb a, Rgb b);

} // namespace velmora::analysis
