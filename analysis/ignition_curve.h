// The ignition advance curve of a calibration as a plot: its ten points and the axes that hold
// them together with the advance the unit reports live.
#pragma once

#include <array>

#include "model/calibration.h"

namespace velmora::analysis {

struct CurvePoint {
    int rpm = 0;     // RpmAdvN x 100
    int advance = 0; // AdvanceN in degrees
};
inline bool operator==(const CurvePoint& a, const CurvePoint& b) {
    return a.rpm == b.rpm && a.advance == b.advance;
}

std::array<CurvePoint, 10> ignitionCurve(const Calibration& cal);

// The ends of the axes: speed up to the last point (or a faster live speed), advance up to the
// largest point (or a larger live value), each rounded up to a whole grid step of 1000 rpm and
// 5 degrees, so the plot does not jump with every small change. The model's maximum is a bound
// far above most curves; scaling to it would flatten them.
struct CurveAxes {
    int maxRpm = 1000;
    int maxAdvance = 5;
};
CurveAxes curveAxes(const std::array<CurvePoint, 10>& curve, int liveRpm, int liveAdvance);

// Where a speed and an advance lie in the plot, as fractions: 0 at the origin, 1 at the axes'
// ends; values beyond the ends are held at them.
struct PlotFraction {
    double x = 0, y = 0;
};
PlotFraction plotFraction(const CurveAxes& axes, int rpm, int advance);

} // namespace velmora::analysis
