#include "analysis/map_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velmora::analysis {

MapGrid gridOf(const Calibration& cal) {
    MapGrid g;
    for (int i = 0; i < 100; ++i) g.cells[static_cast<std::size_t>(i)] = cal[at(JET0_0, i)];
    g.rpms = rpmAxis(cal);
    return g;
}

void putCells(const MapGrid& grid, Calibration& cal) {
    for (int i = 0; i < 100; ++i) cal[at(JET0_0, i)] = grid.cells[static_cast<std::size_t>(i)];
}

namespace {

EditResult failure(EditError e) {
    EditResult r;
    r.error = e;
    return r;
}

std::uint8_t limited(double v) {
    return static_cast<std::uint8_t>(std::clamp<long>(std::lround(v), CellMin, CellMax));
}

template <class F> EditResult forEach(MapGrid& g, const Selection& s, F f) {
    if (!s.valid()) return failure(EditError::BadSelection);
    for (int r = s.top; r <= s.bottom; ++r)
        for (int c = s.left; c <= s.right; ++c) g.at(r, c) = limited(f(r, c, g.at(r, c)));
    return {};
}

} // namespace

EditResult setCells(MapGrid& g, const Selection& s, int value) {
    return forEach(g, s, [&](int, int, int) { return value; });
}

EditResult addToCells(MapGrid& g, const Selection& s, int delta) {
    return forEach(g, s, [&](int, int, int v) { return v + delta; });
}

EditResult scaleCells(MapGrid& g, const Selection& s, double percent) {
    if (!(percent >= 0.0 && percent <= 1000.0)) return failure(EditError::OutOfRange);
    return forEach(g, s, [&](int, int, int v) { return v * percent / 100.0; });
}

EditResult interpolateCells(MapGrid& g, const Selection& s, Interpolation how) {
    if (!s.valid()) return failure(EditError::BadSelection);
    const bool across = how != Interpolation::Vertical;
    const bool down = how != Interpolation::Horizontal;
    if ((across && s.cols() < 2) || (down && s.rows() < 2))
        return failure(EditError::SelectionTooSmall);
    if (across && !axisRises(g.rpms)) return failure(EditError::AxisNotRising);
    const auto xAt = [&](int c) {
        return static_cast<double>(g.rpms[static_cast<std::size_t>(c)]);
    };
    const auto yAt = [&](int r) {
        return static_cast<double>(ThrottleAxis[static_cast<std::size_t>(r)]);
    };
    const double fx0 = xAt(s.left), fx1 = xAt(s.right);
    const double fy0 = yAt(s.top), fy1 = yAt(s.bottom);
    const MapGrid before = g;
    return forEach(g, s, [&](int r, int c, int) {
        const double tx = across ? (xAt(c) - fx0) / (fx1 - fx0) : 0.0;
        const double ty = down ? (yAt(r) - fy0) / (fy1 - fy0) : 0.0;
        if (how == Interpolation::Horizontal)
            return before.at(r, s.left) * (1 - tx) + before.at(r, s.right) * tx;
        if (how == Interpolation::Vertical)
            return before.at(s.top, c) * (1 - ty) + before.at(s.bottom, c) * ty;
        const double topRow = before.at(s.top, s.left) * (1 - tx) + before.at(s.top, s.right) * tx;
        const double bottomRow =
            before.at(s.bottom, s.left) * (1 - tx) + before.at(s.bottom, s.right) * tx;
        return topRow * (1 - ty) + bottomRow * ty;
    });
}

EditResult smoothCells(MapGrid& g, const Selection& s) {
    const MapGrid before = g;
    return forEach(g, s, [&](int r, int c, int) {
        double sum = 0, weight = 0;
        for (int dr = -1; dr <= 1; ++dr) {
            for (int dc = -1; dc <= 1; ++dc) {
                const int rr = r + dr, cc = c + dc;
                if (rr < 0 || rr >= MapSize || cc < 0 || cc >= MapSize) continue;
                const double w = (dr == 0 ? 2 : 1) * (dc == 0 ? 2 : 1);
                sum += w * before.at(rr, cc);
                weight += w;
            }
        }
        return sum / weight;
    });
}

namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char ch) { return ch == ' ' || ch == '\r' || ch == '\v' || ch == '\f'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// A whole number with an optional sign. A decimal gives NotWhole, anything else NotANumber.
EditError parseWhole(std::string_view f, long& out) {
    if (f.empty() || f.size() > 12) return EditError::NotANumber;
    std::size_t i = 0;
    bool negative = false;
    if (f[0] == '+' || f[0] == '-') negative = f[i++] == '-';
    bool digits = false, separator = false;
    long value = 0;
    for (std::size_t k = i; k < f.size(); ++k) {
        const char ch = f[k];
        if (ch >= '0' && ch <= '9') {
            digits = true;
            value = value * 10 + (ch - '0');
        } else if ((ch == '.' || ch == ',') && !separator) {
            separator = true;
        } else {
            return EditError::NotANumber;
        }
    }
    if (!digits) return EditError::NotANumber;
    if (separator) return EditError::NotWhole;
    out = negative ? -value : value;
    return EditError::None;
}

} // namespace

PastedBlock parsePaste(std::string_view text) {
    PastedBlock b;
    if (text.size() > MaxPasteBytes) {
        b.result.error = EditError::TooLarge;
        return b;
    }
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    while (!lines.empty() && trim(lines.back()).empty()) lines.pop_back();
    for (std::size_t li = 0; li < lines.size(); ++li) {
        std::vector<std::string_view> fields;
        const std::string_view line = lines[li];
        for (std::size_t start = 0; start <= line.size();) {
            const std::size_t end = std::min(line.find('\t', start), line.size());
            fields.push_back(trim(line.substr(start, end - start)));
            start = end + 1;
        }
        while (!fields.empty() && fields.back().empty()) fields.pop_back();
        std::vector<int> row;
        for (std::size_t fi = 0; fi < fields.size(); ++fi) {
            long n = 0;
            const auto fail = [&](EditError e) {
                b.result = {e, static_cast<int>(li), static_cast<int>(fi),
                            std::string(fields[fi].substr(0, 20))};
                b.rows.clear();
                return b;
            };
            if (const EditError e = parseWhole(fields[fi], n); e != EditError::None) return fail(e);
            if (n < CellMin || n > CellMax) return fail(EditError::OutOfRange);
            row.push_back(static_cast<int>(n));
        }
        if (!b.rows.empty() && row.size() != b.rows.front().size()) {
            b.result = {
                EditError::RaggedRows, static_cast<int>(li), static_cast<int>(row.size()), {}};
            b.rows.clear();
            return b;
        }
        b.rows.push_back(std::move(row));
    }
    if (b.rows.empty() || b.rows.front().empty()) {
        b.result.error = EditError::Empty;
        b.rows.clear();
    }
    return b;
}

Selection pasteBlock(MapGrid& g, const PastedBlock& block, int row, int col) {
    if (!block.result.ok() || block.rows.empty()) return {0, 0, -1, -1};
    const int rows = std::min<int>(static_cast<int>(block.rows.size()), MapSize - row);
    const int cols = std::min<int>(static_cast<int>(block.rows.front().size()), MapSize - col);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            g.at(row + r, col + c) = static_cast<std::uint8_t>(
                block.rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    return {row, col, row + rows - 1, col + cols - 1};
}

std::string copyText(const MapGrid& g, const Selection& s) {
    std::string out;
    if (!s.valid()) return out;
    for (int r = s.top; r <= s.bottom; ++r) {
        for (int c = s.left; c <= s.right; ++c) {
            if (c > s.left) out += '\t';
            out += std::to_string(g.at(r, c));
        }
        out += '\n';
    }
    return out;
}

} // namespace velmora::analysis
