// A data log seen over the map's cells (a statistic of any channel per cell, the time spans
// each cell came from, two rides and their difference) and the points of a scatter plot,
// thinned for drawing. Channels are columns of numbers: recorded ones or computed ones alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/map_geometry.h"
#include "log/log_context.h"
#include "log/mlg.h"

namespace velmora::analysis {

// A read-only view of one channel: a recorded column (floats), the log's time or a computed
// column (doubles). The column must outlive the view. A default view is "no channel".
class ChannelView {
public:
    ChannelView() = default;
    ChannelView(const log::Column& c) : f_(c.data()), n_(c.size()), present_(true) {}
    ChannelView(const log::TimeColumn& c) : d_(c.data()), n_(c.size()), present_(true) {}
    ChannelView(const std::vector<double>& c) : d_(c.data()), n_(c.size()), present_(true) {}
    ChannelView(std::vector<double>&&) = delete; // would outlive its column

    bool present() const { return present_; }
    std::size_t size() const { return n_; }
    double operator[](std::size_t i) const { return f_ != nullptr ? f_[i] : d_[i]; }

private:
    const float* f_ = nullptr;
    const double* d_ = nullptr;
    std::size_t n_ = 0;
    bool present_ = false;
};

// A field of the log by its index or name; no channel when there is none.
ChannelView channel(const log::LogData& data, int field);
ChannelView channel(const log::LogData& data, const std::string& name);

// The bins of one direction of the table. A record goes to the cell whose point lies nearest
// to its value (halfway between two goes to the upper one), as the map shows its live point;
// values beyond the first or last point go to the edge cell, as the unit holds the edge value
// there. Values outside lowest..highest, and values that are no number, stay out.
struct CellAxis {
    std::vector<double> points; // rising; the table's headings
    double lowest = -std::numeric_limits<double>::infinity();
    double highest = std::numeric_limits<double>::infinity();
    // From a log time on, records are placed by other points (the speed axis a log was
    // recorded with, changed during the ride); as many as `points`, in time order.
    struct Change {
        std::uint32_t fromMs = 0;
        std::vector<double> points;
    };
    std::vector<Change> changes;
};

// More points on one axis are refused.
constexpr std::size_t MaxCellAxisPoints = 1000;

struct CellBins {
    CellAxis columns; // by X
    CellAxis rows;    // by Y
};

// The map's own cells: the speed columns, each record placed on the axis the log was recorded
// with at its moment (`recorded`, the log's context; `today` when it kept none) and headed by
// `today`, and the throttle rows. A speed below 1 rpm (the engine stands) and a throttle
// outside 0..100 % (a sensor fault) stay out, as on the map.
CellBins mapBins(const std::array<int, MapSize>& today,
                 const std::vector<log::ContextEntry>& recorded = {});

enum class CellStatistic { Mean, Median, Minimum, Maximum, Count };

struct CellTableOptions {
    CellBins bins;
    CellStatistic statistic = CellStatistic::Mean;
    std::size_t minCount = 1; // fewer records leave the cell empty
};

// The channels of one log the table is made of; all as long as `time`.
struct CellChannels {
    ChannelView time, x, y, value;
    ChannelView filter; // a record counts where it is a number other than 0; none: every one
};

// The log's time with X and Y by name (`RPM` and `TPS` unless chosen).
CellChannels cellChannels(const log::LogData& data, ChannelView value, ChannelView filter = {},
                          const std::string& x = "RPM", const std::string& y = "TPS");

struct TimeSpan {
    double from = 0.0, to = 0.0; // s, the times of its first and last record
    bool operator==(const TimeSpan& o) const { return from == o.from && to == o.to; }
};

struct CellResult {
    double value = std::numeric_limits<double>::quiet_NaN(); // NaN: empty
    std::size_t count = 0;                                   // records counted in the cell
    std::vector<TimeSpan> spans; // runs of consecutive records counted in the cell
    bool empty() const { return value != value; }
};

// Why a table could not be made, for wording in the user's language.
enum class CellTableProblem {
    None,
    NoTime,
    MissingChannel,   // detail: "X", "Y" or "value"
    ShortChannel,     // detail: "X", "Y" or "value"
    ShortFilter,      //
    PointsNotRising,  // detail: "X" or "Y"
    TooManyPoints,    // detail: "X" or "Y"
    RecordedAxis,     // detail: the log time in ms from which the recorded axis differs
    OtherCells,       // two tables of other sizes
    PointsNotNumbers, // detail: the text (made by the window that parses typed points)
    FilterNotOnSecond // the filter is not computed over the second ride (made by the window)
};

struct CellTable {
    std::string error; // why there is no table, in plain English; empty when there is one
    CellTableProblem problem = CellTableProblem::None;
    std::string detail;                // what the problem is about (see CellTableProblem)
    std::vector<double> columns, rows; // the headings
    std::vector<CellResult> cells;     // row by row
    std::size_t counted = 0;           // records counted in some cell
    bool ok() const { return error.empty(); }
    const CellResult& cell(std::size_t row, std::size_t col) const {
        return cells[row * columns.size() + col];
    }
};

// One pass over the records in log order. A record counts when its value is a number (NaN
// and infinities are left out, never taken as 0), the filter lets it through and X and Y
// place it in a cell.
CellTable cellTable(const CellChannels& channels, const CellTableOptions& options);

// Per cell the second ride's value minus the first's, where both have one; the count is the
// smaller of the two, and no spans (each ride's table has its own). Tables of other sizes
// give an error.
CellTable cellDifference(const CellTable& first, const CellTable& second);

// The table as tab-separated text for a spreadsheet: a heading row of the column points, then
// each row headed by its point; `decimals` places with '.' in every locale, trailing zeros
// dropped; empty cells stay empty. Every line ends in a line break.
std::string cellTableTsv(const CellTable& table, int decimals);

// One record of a scatter plot; colour is NaN without a colour channel.
struct ScatterPoint {
    float x = 0.0f, y = 0.0f, colour = 0.0f;
    std::uint32_t record = 0; // its index in the log
};

// The records within `range` where X and Y are numbers and the filter lets them through, in
// log order. Records beyond the shortest of the given channels are left out.
std::vector<ScatterPoint> scatterPoints(ChannelView time, ChannelView x, ChannelView y,
                                        ChannelView colour = {}, ChannelView filter = {},
                                        const log::LogRange& range = {});

// The plot area on the screen: x rises to the right over `width` pixels, y upwards over
// `height`.
struct ScatterFrame {
    double xFrom = 0.0, xTo = 1.0, yFrom = 0.0, yTo = 1.0;
    int width = 0, height = 0;
    double pixelX(double x) const { return (x - xFrom) / (xTo - xFrom) * width; }
    double pixelY(double y) const { return (yTo - y) / (yTo - yFrom) * height; }
};

// The points that show when all are drawn in order: per pixel the last one, as it is drawn
// over the others there; those outside the frame are left out. In log order.
std::vector<ScatterPoint> decimateScatter(const std::vector<ScatterPoint>& points,
                                          const ScatterFrame& frame);

// The point drawn nearest to the pixel (px, py), within maxPixels; the last drawn of equals.
std::optional<std::size_t> nearestScatterPoint(const std::vector<ScatterPoint>& points,
                                               const ScatterFrame& frame, double px, double py,
                                               double maxPixels = 8.0);

} // namespace velmora::analysis
