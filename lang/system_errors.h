// The common failures of the system (a full disk, no permission, a missing file or folder) in
// the three languages, so that a Czech or German notice carries no English system text; the
// system's own text belongs in the notice's tooltip.
#pragma once

#include <cstdint>

namespace velmora::lang {

// UTF-8; errno values without a text of their own get a general one, and so does 0 (a failure
// whose cause the system did not name). English for a language outside 0..2.
const char* systemErrorText(int error, std::uint8_t language);

} // namespace velmora::lang
