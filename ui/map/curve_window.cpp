#include "ui/map/curve_window.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace velmora::ui {

using namespace analysis;

namespace {

const QColor CurveColour(0xC0, 0x10, 0x10);
const QColor LiveColour(200, 0, 200);

} // namespace

CurvePlot::CurvePlot(QWidget* parent) : QWidget(parent) {
    setObjectName("IgnitionCurvePlot");
    setMinimumSize(420, 260);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

void CurvePlot::setCurve(const std::array<CurvePoint, 10>& curve) {
    if (curve == curve_) return;
    curve_ = curve;
    rescale();
}

void CurvePlot::setLive(int rpm, int advance) {
    if (rpm == liveRpm_ && advance == liveAdvance_) return;
    liveRpm_ = rpm;
    liveAdvance_ = advance;
    rescale();
}

void CurvePlot::clearLive() {
    setLive(0, 0);
}

void CurvePlot::setAxisTitles(const QString& speed, const QString& advance) {
    speedTitle_ = speed;
    advanceTitle_ = advance;
    update();
}

void CurvePlot::rescale() {
    axes_ = curveAxes(curve_, liveRpm_, liveRpm_ > 0 ? liveAdvance_ : 0);
    update();
}

QRectF CurvePlot::plotRect() const {
    return QRectF(48, 24, std::max(40, width() - 48 - 20), std::max(40, height() - 24 - 40));
}

QPointF CurvePlot::toPixel(int rpm, int advance) const {
    const QRectF r = plotRect();
    const PlotFraction f = plotFraction(axes_, rpm, advance);
    return {r.left() + f.x * r.width(), r.bottom() - f.y * r.height()};
}

QPointF CurvePlot::pointPixel(int i) const {
    const CurvePoint& p = curve_[static_cast<std::size_t>(i)];
    return toPixel(p.rpm, p.advance);
}

std::optional<QPointF> CurvePlot::livePixel() const {
    if (liveRpm_ <= 0) return std::nullopt;
    return toPixel(liveRpm_, liveAdvance_);
}

void CurvePlot::resizeEvent(QResizeEvent*) {
    update();
}

void CurvePlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = plotRect();
    QFont f = font();
    f.setPixelSize(11);
    p.setFont(f);

    // Grid every 1000 rpm (every 2000 above 10,000) and every 5 degrees, labelled.
    const int rpmStep = axes_.maxRpm > 10000 ? 2000 : 1000;
    for (int rpm = 0; rpm <= axes_.maxRpm; rpm += rpmStep) {
        const QPointF a = toPixel(rpm, 0), b = toPixel(rpm, axes_.maxAdvance);
        p.setPen(QPen(QColor(0xD8, 0xD8, 0xD8), 1));
        p.drawLine(a, b);
        p.setPen(QColor(0x30, 0x30, 0x30));
        p.drawText(QRectF(a.x() - 30, r.bottom() + 3, 60, 14), Qt::AlignHCenter,
                   QString::number(rpm / 1000) + (rpm > 0 ? "k" : ""));
    }
    const int advanceStep = axes_.maxAdvance > 50 ? 10 : 5;
    for (int adv = 0; adv <= axes_.maxAdvance; adv += advanceStep) {
        const QPointF a = toPixel(0, adv), b = toPixel(axes_.maxRpm, adv);
        p.setPen(QPen(QColor(0xD8, 0xD8, 0xD8), 1));
        p.drawLine(a, b);
        p.setPen(QColor(0x30, 0x30, 0x30));
        p.drawText(QRectF(0, a.y() - 7, r.left() - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(adv));
    }
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.bottomLeft(), r.topLeft());
    p.drawText(QRectF(r.left(), r.bottom() + 18, r.width(), 16), Qt::AlignHCenter, speedTitle_);
    p.drawText(QRectF(4, 2, r.width(), 18), Qt::AlignLeft | Qt::AlignVCenter, advanceTitle_);

    // The ten points, joined in their order as the unit interpolates between them.
    QPainterPath path;
    for (int i = 0; i < 10; ++i) i == 0 ? path.moveTo(pointPixel(i)) : path.lineTo(pointPixel(i));
    p.setPen(QPen(CurveColour, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setBrush(CurveColour);
    for (int i = 0; i < 10; ++i) p.drawEllipse(pointPixel(i), 3.0, 3.0);

    if (const std::optional<QPointF> live = livePixel()) {
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(LiveColour);
        p.drawEllipse(*live, 5.0, 5.0);
    }
}

CurveWindow::CurveWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("IgnitionCurveWindow");
    auto* layout = new QVBoxLayout(this);
    plot_ = new CurvePlot(this);
    layout->addWidget(plot_);
}

} // namespace velmora::ui
