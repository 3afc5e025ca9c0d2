// Commands that change many working parameters at once: the advance curve and injection map
// shifts, the column spin buttons and the throttle sensor calibration.
#pragma once

#include <cstdint>

#include "model/calibration.h"

namespace velmora {

// Clamp, then lower (raise) Advance1..Advance10 one by one by a degree with a clamp after
// each: a point at 0 stays on minus, a point at its limit stays on plus.
void advanceMinus(Calibration& cal);
void advancePlus(Calibration& cal);

// Every map cell above 0 is lowered by 1, every cell below 250 raised by 1; no clamp between
// cells, so the floor is 0 even though the boxes start at 5.
void injectionMinus(Calibration& cal);
void injectionPlus(Calibration& cal);

// The same for the ten cells of one map column (0..9).
void columnMinus(Calibration& cal, int column);
void columnPlus(Calibration& cal, int column);

// "Set TPS 0" / "Set TPS 100" with the throttle voltage of the last monitor frame (mV): true
// when the voltage lay in the button's band and the value was set, false (nothing changed)
// otherwise.
bool setTps0(Calibration& cal, std::uint16_t tpsVoltage);
bool setTps100(Calibration& cal, std::uint16_t tpsVoltage);

} // namespace velmora
