// Comma-separated export of a log for spreadsheets: a header row of "name (units)", then one
// row per record, numbers with a decimal point and the field's digits.
#pragma once

#include <string>

#include "files/atomic_file.h"
#include "log/mlg.h"

namespace velmora::log {

std::string csvHeader(const LogData& log);
void appendCsvRow(std::string& out, const LogData& log, std::size_t record);
// Writes the whole log to path through a temporary file, so a failed export leaves what was
// there before.
WriteResult exportCsv(const LogData& log, const std::string& path);

} // namespace velmora::log
