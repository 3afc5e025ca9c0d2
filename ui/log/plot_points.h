// The points a log channel's graph draws. A long log is drawn at wide spans from the first,
// lowest and highest record of each of about 4096 slices, and from its records themselves once
// few enough are in view, so redraws stay fast and no spike or gap is hidden.
#pragma once

#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "log/mlg.h"

class QCPGraph;
class QString;

namespace velmora::ui {

// A channel's value as the cursor tables show it; no value (a wide-band channel without a
// reading) is a dash, never 0.
QString number(double v, int digits);

// A log of more records plots its envelope at wide spans.
constexpr std::size_t FullDetailRecords = 40000;

// A column's range and, when sliced, its envelope; a record without a value (NaN, a gap in the
// line) is kept in it.
struct Envelope {
    std::vector<std::pair<double, double>> points; // (time, value), in time order
    float low = std::numeric_limits<float>::quiet_NaN();
    float high = std::numeric_limits<float>::quiet_NaN();
    bool gaps = false;
};
Envelope envelope(const log::Column& column, const log::TimeColumn& time, bool sliced);

// One plotted channel of a log and what its graph holds now.
struct PlotPoints {
    std::size_t field = 0;
    std::vector<std::pair<double, double>> envelope; // of a long log, (own time, value)
    bool detailed = false;
    std::size_t from = 0, to = 0; // records loaded when detailed

    // Gives the graph what shows from..to on its time axis, the log drawn `offset` seconds
    // later: the envelope, or the records in view and as much again on each side, so that a
    // pan reloads rarely. Nothing is set when the graph already holds it.
    void load(QCPGraph& graph, const log::LogData& log, double from, double to,
              double offset = 0.0);
};

} // namespace velmora::ui
