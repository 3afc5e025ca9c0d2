// The names a user knows the calibration values by (page, group, label) and their values in
// the units the window shows, for the difference report and the names of history steps.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "model/calibration.h"

namespace velmora {

struct UserName {
    std::string page, group, label;
};

// The label may name a speed or a map row; these come from `context` (the screen).
UserName userName(Param p, const Calibration& context, std::uint8_t language);
// The label without its unit in brackets: "Limiter" rather than "Limiter [rpm]".
std::string shortName(Param p, const Calibration& context, std::uint8_t language);

// The value as the window shows it: scaled, with the thousands separator of the language;
// switches as on/off, the model by its list text.
std::string displayText(Param p, const Calibration& cal, std::uint8_t language);

// A whole number with the thousands separator of the language: 3,000 / 3 000 / 3.000.
std::string groupedNumber(long value, std::uint8_t language);

// Every working parameter, in the order the report lists them (page by page).
const std::array<Param, ParamCount>& reportOrder();

} // namespace velmora
