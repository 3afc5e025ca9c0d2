// Calibrations the tests start from, built in one place.
#pragma once

#include "model/calibration.h"
#include "model/clamp.h"
#include "model/defaults.h"

#include <vector>

namespace velmora::common {

// The values shown as check boxes, written as 0 or 1 to files; listed here from the layout
// rather than taken from the code's own tables.
inline constexpr Param Switches[] = {GasEnable, ZakazCteni, Rpm2Krat, ExtMonitor, AktBlok,
                                     AktClutch, AktOmez1,   AktRpm,   AktN2o};

// The default calibration of `model`, as New gives it, on top of `base` for the values the
// defaults leave alone.
inline Calibration defaultsOf(int model, Calibration base = {}) {
    base[Klicovani] = static_cast<std::uint8_t>(model);
    setDefaultCalibration(base);
    return base;
}

// The same with the model's table and the limits applied: what a unit programmed with it holds.
inline Calibration clampedDefaultsOf(int model) {
    Calibration cal = defaultsOf(model);
    applyModelTable(cal);
    clamp(cal);
    return cal;
}

// The `n` values of the series that starts at `head`, as numbers that print readably.
inline std::vector<int> seriesOf(const Calibration& cal, Param head, int n = 10) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(cal[at(head, i)]);
    return out;
}

} // namespace velmora::common
