// The unit's identification texts are 8-bit text in the Windows-1250 code page.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Decodes Windows-1250 text into UTF-8; the five unassigned bytes become U+FFFD and a NUL ends
// the text.
std::string utf8FromCp1250(std::string_view text);

} // namespace velmora
