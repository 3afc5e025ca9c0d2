#include "ui/log/scatter_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "analysis/map_geometry.h"
#include "lang/log_texts.h"
#include "ui/log/cell_table_view.h"
#include "ui/log/log_viewer.h"

namespace velmora::ui {

using lang::LogText;

namespace {

class Canvas : public QWidget {
public:
    Canvas(ScatterView& view, QWidget* parent) : QWidget(parent), view_(view) {
        setObjectName("ScatterCanvas");
        setMinimumSize(240, 160);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (!view_.deferGather(p, size())) view_.paintCanvas(p, size());
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) view_.clickCanvas(e->position());
    }

private:
    ScatterView& view_;
};

// Round steps for an axis of about `ticks` divisions.
double tickStep(double span, int ticks) {
    const double raw = span / std::max(1, ticks);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * mag >= raw) return m * mag;
    return 10.0 * mag;
}

QString tickText(double v, double step) {
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 6);
    return QString::number(std::abs(v) < step * 1e-6 ? 0.0 : v, 'f', decimals);
}

constexpr QRgb NoColour = qRgb(90, 110, 140);     // points without a colour value
constexpr QRgb Highlight = qRgb(0, 0, 0);         // the selected range
constexpr int Left = 52, Bottom = 34, Right = 84; // margins of the plot in pixels
constexpr int Top = 10;

} // namespace

ScatterView::ScatterView(LogViewer& viewer, std::uint8_t language, QWidget* parent)
    : QWidget(parent), viewer_(viewer), language_(language) {
    setObjectName("ScatterView");
    for (std::size_t i = 0; i < scale_.size(); ++i) {
        const int percent = 100 - analysis::HeatSpan +
                            static_cast<int>(std::lround(2.0 * analysis::HeatSpan *
                                                         static_cast<double>(i) / 255.0));
        // Darker than the map's cell backgrounds: small points on white need the contrast.
        const analysis::Rgb c = analysis::heatColour(percent);
        scale_[i] = QColor(c.r, c.g, c.b).darker(115).rgb();
    }
    auto* controls = new QHBoxLayout;
    const auto combo = [&](const char* name, LogText label) {
        auto* c = new QComboBox(this);
        c->setObjectName(name);
        c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        controls->addWidget(new QLabel(text(static_cast<int>(label)), this));
        controls->addWidget(c);
        connect(c, &QComboBox::currentIndexChanged, this, [this] { channelsChosen(); });
        return c;
    };
    x_ = combo("ScatterX", LogText::ScatterX);
    y_ = combo("ScatterY", LogText::ScatterY);
    colour_ = combo("ScatterColour", LogText::ScatterColour);
    controls->addStretch(1);
    canvas_ = new Canvas(*this, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(controls);
    layout->addWidget(canvas_, 1);

    connect(&viewer_, &LogViewer::logShown, this, &ScatterView::onLogShown);
    connect(&viewer_, &LogViewer::cursorMoved, canvas_, qOverload<>(&QWidget::update));
    connect(&viewer_, &LogViewer::selectionChanged, this, [this] {
        highlightStale_ = imageStale_ = true;
        canvas_->update();
    });
}

QString ScatterView::text(int id) const {
    return QString::fromUtf8(lang::logText(static_cast<LogText>(id), language_));
}

void ScatterView::onLogShown() {
    fillChannels();
    setChannels("RPM", "TPS", defaultValueChannel(viewer_.data()));
    invalidate();
    deferGather_ = true;
}

bool ScatterView::deferGather(QPainter& p, QSize size) {
    const bool defer = deferGather_ && pointsStale_;
    deferGather_ = false;
    if (!defer) return false;
    p.fillRect(QRect(QPoint(0, 0), size), palette().color(QPalette::Window));
    QMetaObject::invokeMethod(canvas_, qOverload<>(&QWidget::update), Qt::QueuedConnection);
    return true;
}

void ScatterView::fillChannels() {
    const QString x = xChannel(), y = yChannel(), c = colourChannel();
    filling_ = true;
    for (QComboBox* box : {x_, y_, colour_}) {
        box->clear();
        if (box == colour_) box->addItem(text(static_cast<int>(LogText::NoChannel)), QString());
        for (const log::LogField& f : viewer_.data().fields)
            box->addItem(QString::fromStdString(f.name), QString::fromStdString(f.name));
    }
    filling_ = false;
    setChannels(x, y, c);
}

void ScatterView::refreshChannels() {
    fillChannels();
    invalidate();
}

void ScatterView::setChannels(const QString& x, const QString& y, const QString& colour) {
    filling_ = true;
    for (const auto& [box, name] : {std::pair{x_, x}, {y_, y}, {colour_, colour}}) {
        const int i = box->findData(name);
        if (i >= 0) box->setCurrentIndex(i);
    }
    filling_ = false;
    channelsChosen();
}

QString ScatterView::xChannel() const {
    return x_->currentData().toString();
}
QString ScatterView::yChannel() const {
    return y_->currentData().toString();
}
QString ScatterView::colourChannel() const {
    return colour_->currentData().toString();
}

void ScatterView::channelsChosen() {
    if (!filling_) invalidate();
}

void ScatterView::setFilter(analysis::ChannelView filter) {
    filter_ = filter;
    invalidate();
}

// Points, highlight and picture are made again when next drawn or asked for.
void ScatterView::invalidate() {
    pointsStale_ = highlightStale_ = imageStale_ = true;
    canvas_->update();
}

void ScatterView::ensure() {
    const log::LogData& d = viewer_.data();
    const auto view = [&](const QString& name) {
        return name.isEmpty() ? analysis::ChannelView{} : analysis::channel(d, name.toStdString());
    };
    const analysis::ChannelView x = view(xChannel()), y = view(yChannel());
    const analysis::ChannelView colour = view(colourChannel());
    const analysis::ChannelView time(d.time);
    if (pointsStale_) {
        pointsStale_ = false;
        points_ = x.present() && y.present() ? analysis::scatterPoints(time, x, y, colour, filter_)
                                             : std::vector<analysis::ScatterPoint>{};
        float x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
        float c0 = INFINITY, c1 = -INFINITY;
        for (const analysis::ScatterPoint& p : points_) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
            if (!std::isfinite(p.colour)) continue;
            c0 = std::min(c0, p.colour);
            c1 = std::max(c1, p.colour);
        }
        if (!(x1 >= x0)) x0 = 0, x1 = 1;
        if (!(y1 >= y0)) y0 = 0, y1 = 1;
        const double padX = std::max(1e-3, (static_cast<double>(x1) - x0) * 0.03);
        const double padY = std::max(1e-3, (static_cast<double>(y1) - y0) * 0.03);
        xFrom_ = x0 - padX, xTo_ = x1 + padX, yFrom_ = y0 - padY, yTo_ = y1 + padY;
        colourLow_ = c1 >= c0 ? c0 : 0.0;
        colourHigh_ = c1 >= c0 ? c1 : 0.0;
        grid_ = xChannel() == "RPM" && yChannel() == "TPS";
        bins_ = grid_ ? viewerMapBins(viewer_) : analysis::CellBins{};
    }
    if (highlightStale_) {
        highlightStale_ = false;
        highlighted_.clear();
        if (viewer_.selectionTo() > viewer_.selectionFrom() && x.present() && y.present())
            highlighted_ = analysis::scatterPoints(
                time, x, y, colour, filter_, {viewer_.selectionFrom(), viewer_.selectionTo()});
    }
}

const std::vector<analysis::ScatterPoint>& ScatterView::points() {
    ensure();
    return points_;
}

const std::vector<analysis::ScatterPoint>& ScatterView::highlighted() {
    ensure();
    return highlighted_;
}

bool ScatterView::gridShown() {
    ensure();
    return grid_;
}

QRect ScatterView::plotRect(QSize size) const {
    return QRect(Left, Top, std::max(1, size.width() - Left - Right),
                 std::max(1, size.height() - Top - Bottom));
}

analysis::ScatterFrame ScatterView::frameFor(QSize size) const {
    const QRect r = plotRect(size);
    return {xFrom_, xTo_, yFrom_, yTo_, r.width(), r.height()};
}

// The points as pixels of their own colour, the selected range's over them: a day of records
// thins to at most one point per pixel first.
void ScatterView::rasterise(QSize size) {
    const analysis::ScatterFrame frame = frameFor(size);
    image_ = QImage(frame.width, frame.height, QImage::Format_ARGB32_Premultiplied);
    image_.fill(Qt::transparent);
    imageFor_ = size;
    imageStale_ = false;
    shown_ = analysis::decimateScatter(points_, frame);
    const double span = colourHigh_ - colourLow_;
    const auto put = [&](const analysis::ScatterPoint& p, QRgb c, int half) {
        const int px = static_cast<int>(frame.pixelX(p.x));
        const int py = static_cast<int>(frame.pixelY(p.y));
        for (int y = std::max(0, py - half); y <= std::min(frame.height - 1, py + half); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
            for (int x = std::max(0, px - half); x <= std::min(frame.width - 1, px + half); ++x)
                line[x] = c;
        }
    };
    for (const analysis::ScatterPoint& p : shown_) {
        QRgb c = NoColour;
        if (std::isfinite(p.colour)) {
            const double f = span > 0 ? (p.colour - colourLow_) / span : 0.5;
            c = scale_[static_cast<std::size_t>(std::clamp(f, 0.0, 1.0) * 255.0 + 0.5)];
        }
        put(p, c, 1);
    }
    for (const analysis::ScatterPoint& p : analysis::decimateScatter(highlighted_, frame))
        put(p, Highlight, 1);
}

void ScatterView::paintCanvas(QPainter& p, QSize size) {
    ensure();
    if (imageStale_ || imageFor_ != size) rasterise(size);
    const QRect r = plotRect(size);
    const analysis::ScatterFrame frame = frameFor(size);
    p.fillRect(QRect(QPoint(0, 0), size), palette().color(QPalette::Window));
    p.fillRect(r, Qt::white);
    // Ticks and their values.
    p.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics fm = p.fontMetrics();
    const double sx = tickStep(xTo_ - xFrom_, std::max(2, r.width() / 80));
    for (double v = std::ceil(xFrom_ / sx) * sx; v <= xTo_; v += sx) {
        const int px = r.left() + static_cast<int>(frame.pixelX(v));
        p.setPen(QColor(235, 235, 235));
        p.drawLine(px, r.top(), px, r.bottom());
        p.setPen(palette().color(QPalette::WindowText));
        const QString t = tickText(v, sx);
        p.drawText(px - fm.horizontalAdvance(t) / 2, r.bottom() + fm.ascent() + 3, t);
    }
    const double sy = tickStep(yTo_ - yFrom_, std::max(2, r.height() / 30));
    for (double v = std::ceil(yFrom_ / sy) * sy; v <= yTo_; v += sy) {
        const int py = r.top() + static_cast<int>(frame.pixelY(v));
        p.setPen(QColor(235, 235, 235));
        p.drawLine(r.left(), py, r.right(), py);
        p.setPen(palette().color(QPalette::WindowText));
        const QString t = tickText(v, sy);
        p.drawText(r.left() - fm.horizontalAdvance(t) - 4, py + fm.ascent() / 2, t);
    }
    const QString xLabel = xChannel(), yLabel = yChannel();
    p.drawText(r.right() - fm.horizontalAdvance(xLabel), r.bottom() + 2 * fm.height() + 2, xLabel);
    p.drawText(2, r.top() + fm.ascent() - Top + 2, yLabel);
    // The map's cells: their borders halfway between the axis points, the speed axis as it
    // was at the cursor when the ride changed it.
    p.setPen(QPen(QColor(130, 130, 130), 1, Qt::DashLine));
    const std::vector<double>* rpms = &bins_.columns.points;
    for (const analysis::CellAxis::Change& c : bins_.columns.changes)
        if (c.fromMs <= viewer_.cursorTime() * 1000.0) rpms = &c.points;
    for (std::size_t i = 1; grid_ && i < rpms->size(); ++i) {
        const double g = ((*rpms)[i - 1] + (*rpms)[i]) / 2.0;
        if (g <= xFrom_ || g >= xTo_) continue;
        const int px = r.left() + static_cast<int>(frame.pixelX(g));
        p.drawLine(px, r.top(), px, r.bottom());
    }
    const std::vector<double>& tps = bins_.rows.points;
    for (std::size_t i = 1; grid_ && i < tps.size(); ++i) {
        const double g = (tps[i - 1] + tps[i]) / 2.0;
        if (g <= yFrom_ || g >= yTo_) continue;
        const int py = r.top() + static_cast<int>(frame.pixelY(g));
        p.drawLine(r.left(), py, r.right(), py);
    }
    p.drawImage(r.topLeft(), image_);
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));

    // The colour scale with its range.
    if (!colourChannel().isEmpty()) {
        const QRect bar(r.right() + 12, r.top() + fm.height() + 4, 14,
                        std::max(10, r.height() - 2 * fm.height() - 8));
        for (int y = 0; y < bar.height(); ++y) {
            const std::size_t i =
                255 - static_cast<std::size_t>(255.0 * y / std::max(1, bar.height() - 1));
            p.setPen(QColor(scale_[i]));
            p.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
        }
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(r.right() + 6, r.top() + fm.ascent(), colourChannel());
        const double step = tickStep(std::max(1e-9, colourHigh_ - colourLow_), 4) / 10.0;
        p.drawText(bar.right() + 4, bar.top() + fm.ascent() / 2, tickText(colourHigh_, step));
        p.drawText(bar.right() + 4, bar.bottom() + fm.ascent() / 2, tickText(colourLow_, step));
    }

    // The viewer's cursor: the point of its record.
    const log::TimeColumn& time = viewer_.data().time;
    const auto after = std::upper_bound(time.begin(), time.end(), viewer_.cursorTime());
    const auto record =
        static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, after - time.begin() - 1));
    if (const std::optional<QPoint> at = pixelOf(record, size)) {
        p.setRenderHint(QPainter::Antialiasing);
        for (const auto& [colour, width] :
             {std::pair{QColor(Qt::white), 4}, {QColor(Qt::black), 2}}) {
            p.setPen(QPen(colour, width));
            p.drawEllipse(QPointF(*at), 7, 7);
            p.drawLine(*at - QPoint(12, 0), *at - QPoint(8, 0));
            p.drawLine(*at + QPoint(8, 0), *at + QPoint(12, 0));
            p.drawLine(*at - QPoint(0, 12), *at - QPoint(0, 8));
            p.drawLine(*at + QPoint(0, 8), *at + QPoint(0, 12));
        }
    }
}

std::optional<QPoint> ScatterView::positionOf(std::size_t record) {
    ensure();
    return pixelOf(record, canvas_->size());
}

std::optional<QPoint> ScatterView::pixelOf(std::size_t record, QSize size) {
    const log::LogData& d = viewer_.data();
    const analysis::ChannelView x = analysis::channel(d, xChannel().toStdString());
    const analysis::ChannelView y = analysis::channel(d, yChannel().toStdString());
    if (!x.present() || !y.present() || record >= x.size() || record >= y.size()) return {};
    const double vx = x[record], vy = y[record];
    if (!(vx >= xFrom_ && vx <= xTo_ && vy >= yFrom_ && vy <= yTo_)) return {};
    const analysis::ScatterFrame f = frameFor(size);
    const QRect r = plotRect(size);
    return QPoint(r.left() + static_cast<int>(f.pixelX(vx)),
                  r.top() + static_cast<int>(f.pixelY(vy)));
}

void ScatterView::clickCanvas(QPointF at) {
    const QSize size = canvas_->size();
    ensure();
    if (imageStale_ || imageFor_ != size) rasterise(size);
    const QRect r = plotRect(size);
    const std::optional<std::size_t> i =
        analysis::nearestScatterPoint(shown_, frameFor(size), at.x() - r.left(), at.y() - r.top());
    if (!i) return;
    const double t = viewer_.data().time[shown_[*i].record];
    viewer_.setCursorTime(t);
    // The plots come along when the point lies outside their time range.
    if (t < viewer_.rangeFrom() || t > viewer_.rangeTo()) {
        const double half = (viewer_.rangeTo() - viewer_.rangeFrom()) / 2;
        viewer_.setTimeRange(t - half, t + half);
    }
}

QImage ScatterView::render(QSize size) {
    imageStale_ = true;
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&out);
    paintCanvas(p, size);
    return out;
}

} // namespace velmora::ui
