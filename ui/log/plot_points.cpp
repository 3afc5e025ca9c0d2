#include "ui/log/plot_points.h"

#include <QString>
#include <QVector>

#include <algorithm>
#include <cmath>

#include <qcustomplot.h>

namespace velmora::ui {

QString number(double v, int digits) {
    if (std::isnan(v)) return QString::fromUtf8("—");
    return QString::number(v, 'f', std::clamp(digits, 0, 6));
}

Envelope envelope(const log::Column& column, const log::TimeColumn& time, bool sliced) {
    Envelope e;
    const std::size_t records = column.size();
    const std::size_t slice = sliced ? (records + 4095) / 4096 : std::max<std::size_t>(records, 1);
    if (sliced) e.points.reserve(2 * (records / slice + 1));
    const float* v = column.data();
    for (std::size_t a = 0; a < records; a += slice) {
        const std::size_t b = std::min(records, a + slice);
        std::size_t lo = b, hi = b, gap = b;
        float lv = 0.0f, hv = 0.0f;
        for (std::size_t r = a; r < b; ++r) {
            const float x = v[r];
            if (x != x) { // NaN
                if (gap == b) gap = r;
                continue;
            }
            if (lo == b) {
                lo = hi = r;
                lv = hv = x;
                continue;
            }
            lo = x < lv ? r : lo;
            lv = x < lv ? x : lv;
            hi = x > hv ? r : hi;
            hv = x > hv ? x : hv;
        }
        e.gaps |= gap != b;
        if (lo != b) {
            e.low = std::isnan(e.low) ? lv : std::min(e.low, lv);
            e.high = std::isnan(e.high) ? hv : std::max(e.high, hv);
        }
        if (!sliced) continue;
        std::size_t at[3];
        std::size_t n = 0;
        if (lo != b) {
            at[n++] = std::min(lo, hi);
            if (hi != lo) at[n++] = std::max(lo, hi);
        }
        if (gap != b) at[n++] = gap;
        std::sort(at, at + n);
        for (std::size_t k = 0; k < n; ++k) e.points.emplace_back(time[at[k]], v[at[k]]);
    }
    return e;
}

void PlotPoints::load(QCPGraph& graph, const log::LogData& log, double from, double to,
                      double offset) {
    const std::size_t records = log.records();
    const auto index = [&log](double t) {
        return static_cast<std::size_t>(std::lower_bound(log.time.begin(), log.time.end(), t) -
                                        log.time.begin());
    };
    const std::size_t a = index(from - offset), b = index(to - offset);
    QVector<QCPGraphData> points;
    if (records > FullDetailRecords && b - a > FullDetailRecords) {
        if (!detailed && !graph.data()->isEmpty()) return;
        points.reserve(static_cast<int>(envelope.size()));
        for (const auto& [t, v] : envelope) points.push_back({t + offset, v});
        detailed = false;
    } else {
        if (detailed && a >= this->from && b <= this->to) return;
        const std::size_t span = b - a;
        this->from = records <= FullDetailRecords ? 0 : (a > span ? a - span : 0);
        this->to = records <= FullDetailRecords ? records : std::min(records, b + span + 1);
        const log::Column& column = log.columns[field];
        points.reserve(static_cast<int>(this->to - this->from));
        for (std::size_t r = this->from; r < this->to; ++r)
            points.push_back({log.time[r] + offset, column[r]});
        detailed = true;
    }
    graph.data()->set(points, true);
}

} // namespace velmora::ui
