#include "ui/main_window/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace velmora::ui {

QIcon windowIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x20, 0x40, 0x90));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(1, 1, 30, 30, 6, 6);
    // A spark: a zigzag bolt.
    QPainterPath bolt;
    bolt.moveTo(18, 3);
    bolt.lineTo(8, 18);
    bolt.lineTo(15, 18);
    bolt.lineTo(12, 29);
    bolt.lineTo(24, 12);
    bolt.lineTo(17, 12);
    bolt.closeSubpath();
    p.setBrush(QColor(0xFF, 0xD0, 0x20));
    p.drawPath(bolt);
    return QIcon(pm);
}

namespace {

// Where the picture draws its plot: zero speed and advance at the bottom left.
QRect curvePlot() {
    return {24, 8, 200, 78};
}

} // namespace

QPixmap curvePicture() {
    QPixmap pm(234, 103);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect plot = curvePlot();
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.setPen(QPen(QColor(0xB0, 0xB0, 0xB0), 1, Qt::DotLine));
    for (int i = 1; i < 4; ++i) {
        const int y = plot.bottom() - i * plot.height() / 4;
        p.drawLine(plot.left() + 1, y, plot.right(), y);
    }
    // A typical curve: flat at idle, rising with speed, then held.
    const QPointF pts[] = {{0.00, 0.15}, {0.12, 0.15}, {0.30, 0.45},
                           {0.50, 0.80}, {0.70, 0.88}, {1.00, 0.88}};
    QPainterPath curve;
    for (std::size_t i = 0; i < std::size(pts); ++i) {
        const QPointF q(plot.left() + pts[i].x() * plot.width(),
                        plot.bottom() - pts[i].y() * plot.height());
        i == 0 ? curve.moveTo(q) : curve.lineTo(q);
    }
    p.setPen(QPen(QColor(0xC0, 0x10, 0x10), 2.5));
    p.drawPath(curve);
    p.setPen(QColor(0x30, 0x30, 0x30));
    QFont f = p.font();
    f.setPixelSize(10);
    p.setFont(f);
    p.drawText(QRect(plot.left(), plot.bottom() + 2, plot.width(), 14), Qt::AlignRight, "rpm");
    p.drawText(QRect(0, plot.top() - 2, 22, 14), Qt::AlignRight, "°");
    f.setPixelSize(13);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x20, 0x40, 0x90));
    p.drawText(QRect(plot.left() + 8, plot.top() + 40, 120, 18), Qt::AlignLeft, "Velmora 52");
    return pm;
}

QIcon printGlyph() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5); // paper going in
    p.setBrush(QColor(0x90, 0x90, 0x90));
    p.drawRect(1, 6, 13, 6); // body
    p.setBrush(Qt::white);
    p.drawRect(4, 10, 7, 5); // paper coming out
    p.setPen(QColor(0x10, 0xA0, 0x10));
    p.drawPoint(12, 8);
    return QIcon(pm);
}

} // namespace velmora::ui
