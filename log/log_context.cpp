#include "log/log_context.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace velmora::log {

namespace {

// Tabs and line ends would split the line: they become spaces.
std::string field(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return s;
}

std::vector<std::string> split(const std::string& line, char by) {
    std::vector<std::string> out(1);
    for (const char c : line) {
        if (c == by)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

bool parseUnsigned(const std::string& s, unsigned long& out, int base = 10) {
    if (s.empty()) return false;
    std::size_t used = 0;
    try {
        out = std::stoul(s, &used, base);
    } catch (...) {
        return false;
    }
    return used == s.size() && s[0] != '-' && s[0] != '+';
}

} // namespace

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        c ^= bytes[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

LogContext contextOf(const Calibration& cal, const Identification& ident, const Image& image,
                     const std::string& calibrationFile) {
    LogContext c;
    for (std::size_t k = 0; k < c.rpms.size(); ++k)
        c.rpms[k] = 100 * cal[static_cast<Param>(RPM_JET_0 + static_cast<int>(k))];
    c.calibrationFile = calibrationFile;
    c.identification = ident.program + " " + ident.date + " " + ident.time;
    Image packed = image;
    pack(cal, packed);
    c.checksum = crc32(packed.data(), packed.size());
    return c;
}

std::string contextPathFor(const std::string& mlgPath) {
    const std::string ext = ".mlg";
    const bool hasExt = mlgPath.size() >= ext.size() &&
                        mlgPath.compare(mlgPath.size() - ext.size(), ext.size(), ext) == 0;
    return (hasExt ? mlgPath.substr(0, mlgPath.size() - ext.size()) : mlgPath) + ".context";
}

std::string formatContextEntry(const ContextEntry& e) {
    std::string axis;
    for (const int r : e.context.rpms) axis += (axis.empty() ? "" : " ") + std::to_string(r);
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08X", static_cast<unsigned>(e.context.checksum));
    std::string line = std::to_string(e.timeMs) + '\t' + axis + '\t' + sum + '\t' +
                       field(e.context.identification) + '\t' + field(e.context.calibrationFile);
    if (e.context.widebandProtocol) {
        // Hundredths as whole numbers, so no locale puts a comma in.
        const long h = std::lround(std::clamp(e.context.stoichAfr, 0.0, 1000.0) * 100.0);
        const std::string cents = std::to_string(100 + h % 100).substr(1);
        line += std::string("\t") + widebandProtocolKey(*e.context.widebandProtocol) + '\t' +
                std::to_string(h / 100) + '.' + cents;
    }
    return line + '\n';
}

ContextReadResult readContextFile(const std::string& path) {
    ContextReadResult out;
    std::ifstream in(path, std::ios::binary);
    if (!in) return out;
    out.found = true;
    std::string line;
    if (!std::getline(in, line) || line + '\n' != ContextMagic) {
        out.error = path + " is no log context";
        return out;
    }
    int number = 1;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) continue;
        const std::vector<std::string> f = split(line, '\t');
        const bool wideband = f.size() == 7;
        const std::vector<std::string> axis =
            f.size() == 5 || wideband ? split(f[1], ' ') : std::vector<std::string>{};
        ContextEntry e;
        unsigned long v = 0;
        bool ok = axis.size() == e.context.rpms.size() && parseUnsigned(f[0], v) && v <= UINT32_MAX;
        e.timeMs = static_cast<std::uint32_t>(v);
        for (std::size_t k = 0; ok && k < axis.size(); ++k) {
            ok = parseUnsigned(axis[k], v) && v <= 25500;
            e.context.rpms[k] = static_cast<int>(v);
        }
        ok = ok && f[2].size() == 8 && parseUnsigned(f[2], v, 16);
        if (ok) e.context.checksum = static_cast<std::uint32_t>(v);
        if (ok && wideband) {
            e.context.widebandProtocol = widebandProtocolFromKey(f[5]);
            const std::vector<std::string> ratio = split(f[6], '.');
            unsigned long whole = 0, cents = 0;
            ok = e.context.widebandProtocol && ratio.size() == 2 && ratio[1].size() == 2 &&
                 parseUnsigned(ratio[0], whole) && parseUnsigned(ratio[1], cents) && whole <= 1000;
            e.context.stoichAfr = static_cast<double>(whole) + static_cast<double>(cents) / 100.0;
        }
        if (!ok) {
            // A line cut off by a crash, or junk: what came before still holds.
            out.error = path + ": line " + std::to_string(number) + " is damaged";
            break;
        }
        e.context.identification = f[3];
        e.context.calibrationFile = f[4];
        out.entries.push_back(std::move(e));
    }
    return out;
}

} // namespace velmora::log
