#include "log/csv.h"

#include <cmath>
#include <cstdio>

#include "model/c_locale.h"

namespace velmora::log {

namespace {

// Names with a comma or a quote are quoted, so every row keeps its column count.
void appendCell(std::string& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// No value (a wide-band channel without a reading) is an empty cell, never 0.
void appendNumber(std::string& out, double v, int digits) {
    if (std::isnan(v)) return;
    if (digits < 0) digits = 0;
    if (digits > 6) digits = 6;
    char buffer[48];
    const int n = std::snprintf(buffer, sizeof buffer, "%.*f", digits, v);
    if (n > 0) out.append(buffer, static_cast<std::size_t>(n) < sizeof buffer ? n : 0);
}

} // namespace

std::string csvHeader(const LogData& log) {
    std::string out;
    for (std::size_t i = 0; i < log.fields.size(); ++i) {
        if (i > 0) out += ',';
        const LogField& f = log.fields[i];
        appendCell(out, f.units.empty() ? f.name : f.name + " (" + f.units + ")");
    }
    out += "\r\n";
    return out;
}

void appendCsvRow(std::string& out, const LogData& log, std::size_t record) {
    const CNumericScope c; // "0.073", never "0,073": the comma separates the fields
    for (std::size_t i = 0; i < log.fields.size(); ++i) {
        if (i > 0) out += ',';
        const double v =
            static_cast<int>(i) == log.timeField ? log.time[record] : log.columns[i][record];
        appendNumber(out, v, log.fields[i].digits);
    }
    out += "\r\n";
}

WriteResult exportCsv(const LogData& log, const std::string& path) {
    std::string out = csvHeader(log);
    out.reserve(out.size() + log.records() * log.fields.size() * 6);
    for (std::size_t r = 0; r < log.records(); ++r) appendCsvRow(out, log, r);
    return replaceFile(path, out, true);
}

} // namespace velmora::log
