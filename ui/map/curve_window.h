// The ignition curve window of the View menu: the calibration's ten advance points over
// engine speed and a dot at the live speed and the advance the unit reports.
#pragma once

#include <QPointF>
#include <QWidget>

#include <array>
#include <optional>

#include "analysis/ignition_curve.h"

class QLabel;

namespace velmora::ui {

class CurvePlot : public QWidget {
    Q_OBJECT
public:
    explicit CurvePlot(QWidget* parent);

    void setCurve(const std::array<analysis::CurvePoint, 10>& curve);
    // Nothing is drawn for a speed of 0 (the engine stands or no advance has come yet).
    void setLive(int rpm, int advance);
    void clearLive();
    void setAxisTitles(const QString& speed, const QString& advance);

    // Where the i-th point and the live dot are drawn, in the widget's pixels.
    QPointF pointPixel(int i) const;
    std::optional<QPointF> livePixel() const;
    const analysis::CurveAxes& axes() const { return axes_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    QRectF plotRect() const;
    QPointF toPixel(int rpm, int advance) const;
    void rescale();

    std::array<analysis::CurvePoint, 10> curve_{};
    int liveRpm_ = 0, liveAdvance_ = 0;
    analysis::CurveAxes axes_;
    QString speedTitle_, advanceTitle_;
};

class CurveWindow : public QWidget {
    Q_OBJECT
public:
    explicit CurveWindow(QWidget* parent);
    CurvePlot* plot() const { return plot_; }

private:
    CurvePlot* plot_;
};

} // namespace velmora::ui
