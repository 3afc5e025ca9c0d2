#pragma once

#include "calibration.h"

namespace velmora {

// Brings the working parameters into their legal ranges and orderings, in place.
// Never fails; running it twice changes nothing the second time.
void clamp(Calibration& cal);

} // namespace velmora
