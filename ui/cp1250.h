// The unit's identification texts are 8-bit text in the Windows-1250 code page.
#pragma once

#include <QString>

#include <string_view>

namespace velmora::ui {

// Decodes Windows-1250 text; the five unassigned bytes become U+FFFD and a NUL ends the text.
QString fromCp1250(std::string_view text);

} // namespace velmora::ui
