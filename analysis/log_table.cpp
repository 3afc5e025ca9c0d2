#include "analysis/log_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace velmora::analysis {

ChannelView channel(const log::LogData& data, int field) {
    if (field < 0 || static_cast<std::size_t>(field) >= data.columns.size()) return {};
    return data.columns[static_cast<std::size_t>(field)];
}

ChannelView channel(const log::LogData& data, const std::string& name) {
    return channel(data, data.fieldIndex(name));
}

CellBins mapBins(const std::array<int, MapSize>& today,
                 const std::vector<log::ContextEntry>& recorded) {
    CellBins b;
    b.columns.points.assign(today.begin(), today.end());
    b.columns.lowest = 1.0;
    for (const log::ContextEntry& e : recorded)
        b.columns.changes.push_back(
            {e.timeMs, std::vector<double>(e.context.rpms.begin(), e.context.rpms.end())});
    b.rows.points.assign(ThrottleAxis.begin(), ThrottleAxis.end());
    b.rows.lowest = ThrottleAxis.front();
    b.rows.highest = ThrottleAxis.back();
    return b;
}

CellChannels cellChannels(const log::LogData& data, ChannelView value, ChannelView filter,
                          const std::string& x, const std::string& y) {
    return {data.time, channel(data, x), channel(data, y), value, filter};
}

namespace {

bool rises(const std::vector<double>& p) {
    for (std::size_t i = 1; i < p.size(); ++i)
        if (!(p[i] > p[i - 1])) return false;
    return !p.empty() && std::isfinite(p.front()) && std::isfinite(p.back());
}

// The halfway values between neighbouring points: a value's cell is how many of them it
// reaches.
std::vector<double> halfways(const std::vector<double>& p) {
    std::vector<double> h;
    for (std::size_t i = 1; i < p.size(); ++i) h.push_back((p[i - 1] + p[i]) / 2.0);
    return h;
}

// Places values on one axis, following its changes as the records move on in time.
class Placer {
public:
    explicit Placer(const CellAxis& a) : axis_(a), halfway_(halfways(a.points)) {
        for (const CellAxis::Change& c : a.changes) changes_.push_back(halfways(c.points));
    }
    // The cell of v at log time t (s), or -1.
    int place(double v, double t) {
        if (!(v >= axis_.lowest && v <= axis_.highest)) return -1;
        if (!changes_.empty()) {
            // As the statistics do: the change in force at the record's millisecond.
            const long long ms = std::llround(t * 1000.0);
            while (next_ < changes_.size() && axis_.changes[next_].fromMs <= ms) ++next_;
        }
        const std::vector<double>& h = next_ == 0 ? halfway_ : changes_[next_ - 1];
        return static_cast<int>(std::upper_bound(h.begin(), h.end(), v) - h.begin());
    }

private:
    const CellAxis& axis_;
    std::vector<double> halfway_;
    std::vector<std::vector<double>> changes_;
    std::size_t next_ = 0; // changes before it are in force or past
};

// Far more cells than a table shown on a screen can hold.

struct Problem {
    CellTableProblem kind = CellTableProblem::None;
    std::string detail, text;
};

Problem axisError(const CellAxis& a, const char* name, const char* which) {
    if (!rises(a.points))
        return {CellTableProblem::PointsNotRising, which,
                std::string("the ") + name + " points do not rise"};
    if (a.points.size() > MaxCellAxisPoints)
        return {CellTableProblem::TooManyPoints, which,
                std::string("the ") + name + " axis has more than " +
                    std::to_string(MaxCellAxisPoints) + " points"};
    for (const CellAxis::Change& c : a.changes)
        if (c.points.size() != a.points.size() || !rises(c.points))
            return {CellTableProblem::RecordedAxis, std::to_string(c.fromMs),
                    std::string("the ") + name + " axis from " + std::to_string(c.fromMs) +
                        " ms has other points than the table"};
    return {};
}

Problem channelsError(const CellChannels& c) {
    if (!c.time.present()) return {CellTableProblem::NoTime, {}, "the log has no time"};
    const std::pair<const ChannelView*, const char*> needed[] = {
        {&c.x, "X"}, {&c.y, "Y"}, {&c.value, "value"}};
    for (const auto& [v, name] : needed) {
        if (!v->present())
            return {CellTableProblem::MissingChannel, name,
                    std::string("the ") + name + " channel is missing"};
        if (v->size() != c.time.size())
            return {CellTableProblem::ShortChannel, name,
                    std::string("the ") + name + " channel is not as long as the log"};
    }
    if (c.filter.present() && c.filter.size() != c.time.size())
        return {CellTableProblem::ShortFilter, {}, "the filter is not as long as the log"};
    return {};
}

bool passes(const ChannelView& filter, std::size_t r) {
    if (!filter.present()) return true;
    const double f = filter[r];
    return f == f && f != 0.0;
}

} // namespace

CellTable cellTable(const CellChannels& ch, const CellTableOptions& o) {
    CellTable t;
    Problem p = channelsError(ch);
    if (p.kind == CellTableProblem::None) p = axisError(o.bins.columns, "column", "X");
    if (p.kind == CellTableProblem::None) p = axisError(o.bins.rows, "row", "Y");
    if (p.kind != CellTableProblem::None) {
        t.problem = p.kind;
        t.detail = std::move(p.detail);
        t.error = std::move(p.text);
        return t;
    }
    t.columns = o.bins.columns.points;
    t.rows = o.bins.rows.points;
    const std::size_t nc = t.columns.size();
    t.cells.resize(nc * t.rows.size());

    const bool median = o.statistic == CellStatistic::Median;
    std::vector<double> sum(t.cells.size(), 0.0);
    std::vector<double> low(t.cells.size(), std::numeric_limits<double>::infinity());
    std::vector<double> high(t.cells.size(), -std::numeric_limits<double>::infinity());
    std::vector<std::int32_t> cellOf(median ? ch.time.size() : 0, -1);
    Placer columns(o.bins.columns), rows(o.bins.rows);
    std::int64_t previous = -1; // the cell of the record before, -1 when it did not count
    for (std::size_t r = 0; r < ch.time.size(); ++r) {
        const double v = ch.value[r];
        const double time = ch.time[r];
        std::int64_t cell = -1;
        if (std::isfinite(v) && passes(ch.filter, r)) {
            const int col = columns.place(ch.x[r], time);
            const int row = col < 0 ? -1 : rows.place(ch.y[r], time);
            if (row >= 0)
                cell = static_cast<std::int64_t>(row) * static_cast<std::int64_t>(nc) + col;
        }
        if (cell >= 0) {
            const auto c = static_cast<std::size_t>(cell);
            CellResult& res = t.cells[c];
            ++res.count;
            sum[c] += v;
            low[c] = std::min(low[c], v);
            high[c] = std::max(high[c], v);
            if (median) cellOf[r] = static_cast<std::int32_t>(cell);
            if (previous == cell)
                res.spans.back().to = time;
            else
                res.spans.push_back({time, time});
            ++t.counted;
        }
        previous = cell;
    }

    // The median: the values gathered cell by cell, then the middle of each.
    std::vector<double> sorted;
    std::vector<std::size_t> start(t.cells.size() + 1, 0);
    if (median) {
        for (std::size_t c = 0; c < t.cells.size(); ++c) start[c + 1] = start[c] + t.cells[c].count;
        sorted.resize(t.counted);
        std::vector<std::size_t> fill(start.begin(), start.end() - 1);
        for (std::size_t r = 0; r < cellOf.size(); ++r)
            if (cellOf[r] >= 0) sorted[fill[static_cast<std::size_t>(cellOf[r])]++] = ch.value[r];
    }
    const std::size_t minCount = std::max<std::size_t>(o.minCount, 1);
    for (std::size_t c = 0; c < t.cells.size(); ++c) {
        CellResult& res = t.cells[c];
        if (res.count < minCount) continue;
        switch (o.statistic) {
        case CellStatistic::Mean:
            res.value = sum[c] / static_cast<double>(res.count);
            break;
        case CellStatistic::Minimum:
            res.value = low[c];
            break;
        case CellStatistic::Maximum:
            res.value = high[c];
            break;
        case CellStatistic::Count:
            res.value = static_cast<double>(res.count);
            break;
        case CellStatistic::Median: {
            const auto first = sorted.begin() + static_cast<std::ptrdiff_t>(start[c]);
            const auto last = sorted.begin() + static_cast<std::ptrdiff_t>(start[c + 1]);
            const auto mid = first + static_cast<std::ptrdiff_t>(res.count / 2);
            std::nth_element(first, mid, last);
            res.value = *mid;
            // An even count: halfway between the two middle values.
            if (res.count % 2 == 0) res.value = (res.value + *std::max_element(first, mid)) / 2.0;
            break;
        }
        }
    }
    return t;
}

CellTable cellDifference(const CellTable& first, const CellTable& second) {
    CellTable d;
    if (!first.ok() || !second.ok()) {
        const CellTable& bad = !first.ok() ? first : second;
        d.error = bad.error;
        d.problem = bad.problem;
        d.detail = bad.detail;
        return d;
    }
    if (first.columns.size() != second.columns.size() || first.rows.size() != second.rows.size()) {
        d.error = "the two tables have other cells";
        d.problem = CellTableProblem::OtherCells;
        return d;
    }
    d.columns = first.columns;
    d.rows = first.rows;
    d.cells.resize(first.cells.size());
    for (std::size_t c = 0; c < d.cells.size(); ++c) {
        const CellResult &a = first.cells[c], &b = second.cells[c];
        d.cells[c].count = std::min(a.count, b.count);
        if (!a.empty() && !b.empty()) {
            d.cells[c].value = b.value - a.value;
            ++d.counted;
        }
    }
    return d;
}

namespace {

// '.' in every locale: to_chars never looks at one.
void appendNumber(std::string& out, double v, int decimals) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed,
                                   std::clamp(decimals, 0, 17));
    std::string s(buf, res.ec == std::errc() ? res.ptr : buf);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    out += s;
}

} // namespace

std::string cellTableTsv(const CellTable& t, int decimals) {
    std::string out;
    for (const double c : t.columns) {
        out += '\t';
        appendNumber(out, c, decimals);
    }
    out += '\n';
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        appendNumber(out, t.rows[r], decimals);
        for (std::size_t c = 0; c < t.columns.size(); ++c) {
            out += '\t';
            if (!t.cell(r, c).empty()) appendNumber(out, t.cell(r, c).value, decimals);
        }
        out += '\n';
    }
    return out;
}

std::vector<ScatterPoint> scatterPoints(ChannelView time, ChannelView x, ChannelView y,
                                        ChannelView colour, ChannelView filter,
                                        const log::LogRange& range) {
    std::vector<ScatterPoint> out;
    if (!time.present() || !x.present() || !y.present()) return out;
    std::size_t n = std::min({time.size(), x.size(), y.size()});
    if (colour.present()) n = std::min(n, colour.size());
    if (filter.present()) n = std::min(n, filter.size());
    n = std::min<std::size_t>(n, UINT32_MAX);
    const float none = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t r = 0; r < n; ++r) {
        if (!range.contains(time[r]) || !passes(filter, r)) continue;
        const auto px = static_cast<float>(x[r]), py = static_cast<float>(y[r]);
        if (!std::isfinite(px) || !std::isfinite(py)) continue;
        out.push_back({px, py, colour.present() ? static_cast<float>(colour[r]) : none,
                       static_cast<std::uint32_t>(r)});
    }
    return out;
}

namespace {
// Wider than any screen; keeps the pixel map of a strange frame small.
constexpr int MaxPixels = 8192;

bool usable(const ScatterFrame& f) {
    return f.width > 0 && f.height > 0 && f.xTo > f.xFrom && f.yTo > f.yFrom &&
           std::isfinite(f.xTo - f.xFrom) && std::isfinite(f.yTo - f.yFrom);
}
} // namespace

std::vector<ScatterPoint> decimateScatter(const std::vector<ScatterPoint>& points,
                                          const ScatterFrame& frame) {
    std::vector<ScatterPoint> out;
    if (!usable(frame)) return out;
    const int w = std::min(frame.width, MaxPixels), h = std::min(frame.height, MaxPixels);
    const double sx = w / (frame.xTo - frame.xFrom), sy = h / (frame.yTo - frame.yFrom);
    std::vector<std::uint64_t> taken(
        (static_cast<std::size_t>(w) * static_cast<std::size_t>(h) + 63) / 64);
    // From the last drawn back: the first seen in a pixel is the one on top there.
    for (std::size_t i = points.size(); i-- > 0;) {
        const ScatterPoint& p = points[i];
        if (!(p.x >= frame.xFrom && p.x <= frame.xTo && p.y >= frame.yFrom && p.y <= frame.yTo))
            continue;
        const int px = std::min(static_cast<int>((p.x - frame.xFrom) * sx), w - 1);
        const int py = std::min(static_cast<int>((frame.yTo - p.y) * sy), h - 1);
        const std::size_t bit = static_cast<std::size_t>(py) * static_cast<std::size_t>(w) +
                                static_cast<std::size_t>(px);
        std::uint64_t& word = taken[bit / 64];
        const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
        if ((word & mask) != 0) continue;
        word |= mask;
        out.push_back(p);
    }
    std::reverse(out.begin(), out.end());
    return out;
}

std::optional<std::size_t> nearestScatterPoint(const std::vector<ScatterPoint>& points,
                                               const ScatterFrame& frame, double px, double py,
                                               double maxPixels) {
    if (!usable(frame)) return std::nullopt;
    std::optional<std::size_t> best;
    double bestSq = maxPixels * maxPixels;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double dx = frame.pixelX(points[i].x) - px, dy = frame.pixelY(points[i].y) - py;
        const double sq = dx * dx + dy * dy;
        if (sq <= bestSq) {
            bestSq = sq;
            best = i;
        }
    }
    return best;
}

} // namespace velmora::analysis
