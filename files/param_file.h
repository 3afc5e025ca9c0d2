// The parameter text file: one calibration as 43 labelled lines of display values.
#pragma once

#include "files/atomic_file.h"
#include "model/calibration.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// The whole file: ASCII, lines ending in CR LF except the last.
std::string formatParamFile(const Calibration& cal);

// Reads labelled values into cal by key; unknown words are skipped and missing lines leave
// their parameters unchanged. Any bytes are accepted.
void parseParamFile(std::string_view text, Calibration& cal);

// Writes a temporary file and renames it over path only when every byte is on the disk, so
// a failed save leaves the previous file as it was.
WriteResult saveParamFile(const std::string& path, const Calibration& cal);

// Far beyond any parameter file; a larger file is refused unread, as is anything not a file.
constexpr std::uintmax_t MaxParamFileSize = 64u << 20;
// Reads the file at path into cal. False when it cannot be opened or read to its end; cal is
// then unchanged. The file is read in pieces, never whole.
bool openParamFile(const std::string& path, Calibration& cal);

} // namespace velmora
