// The difference report: every working parameter in which two calibrations differ, by the name
// a user knows and in display units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/calibration.h"

namespace velmora {

struct DifferenceRow {
    Param param;
    std::string page, group, label;
    std::string screen, other; // display values
};

// Names take their speeds from `screen`. A switch differs only when one is on and the other off.
std::vector<DifferenceRow> differences(const Calibration& screen, const Calibration& other,
                                       std::uint8_t language);
int countDifferences(const Calibration& a, const Calibration& b);

// A header line and one line per row, fields separated by tabs, lines by LF.
std::string differencesAsText(const std::vector<DifferenceRow>& rows, std::uint8_t language);

// What the unit holds when it answered block `block` with `unitBlock` while the rest of the
// image was `image`: the calibration the window would show for it.
Calibration withUnitBlock(const Calibration& screen, const Image& image, std::size_t block,
                          const std::array<std::uint8_t, BlockSize>& unitBlock);

} // namespace velmora
