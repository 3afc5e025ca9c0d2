#include "analysis/ignition_curve.h"

#include <algorithm>

namespace velmora::analysis {

namespace {

int roundUp(int value, int step) {
    return std::max(step, (value + step - 1) / step * step);
}

} // namespace

std::array<CurvePoint, 10> ignitionCurve(const Calibration& cal) {
    std::array<CurvePoint, 10> curve{};
    for (int i = 0; i < 10; ++i)
        curve[static_cast<std::size_t>(i)] = {cal[at(RpmAdv1, i)] * 100, cal[at(Advance1, i)]};
    return curve;
}

CurveAxes curveAxes(const std::array<CurvePoint, 10>& curve, int liveRpm, int liveAdvance) {
    int rpm = liveRpm, advance = liveAdvance;
    for (const CurvePoint& p : curve) {
        rpm = std::max(rpm, p.rpm);
        advance = std::max(advance, p.advance);
    }
    return {roundUp(rpm, 1000), roundUp(advance, 5)};
}

PlotFraction plotFraction(const CurveAxes& axes, int rpm, int advance) {
    return {std::clamp(rpm / static_cast<double>(axes.maxRpm), 0.0, 1.0),
            std::clamp(advance / static_cast<double>(axes.maxAdvance), 0.0, 1.0)};
}

} // namespace velmora::analysis
