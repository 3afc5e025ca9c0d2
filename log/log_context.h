// What a log was recorded with: the map's speed axis and the calibration's identity, kept in
// a small text file beside the log (<name>.context) from its start and at every change, so
// that a later analysis places each sample on the axis of its moment. Other viewers never
// see it; a log without one (older ones) is analysed on today's axis.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/wideband.h"
#include "model/calibration.h"

namespace velmora::log {

struct LogContext {
    std::array<int, 10> rpms{};  // RPM_JET_0 .. RPM_JET_9, rpm
    std::string calibrationFile; // the parameter file last opened or saved; empty when none
    std::string identification;  // program, date and time of the identification texts
    std::uint32_t checksum = 0;  // CRC-32 of the 240-byte image
    // The wide-band controller's protocol as heard (what Automatic settled on), and the fuel's
    // stoichiometric ratio; no protocol without a controller. A replay parses with these.
    std::optional<WidebandProtocol> widebandProtocol;
    double stoichAfr = 14.7;
    bool operator==(const LogContext& o) const {
        return rpms == o.rpms && calibrationFile == o.calibrationFile &&
               identification == o.identification && checksum == o.checksum &&
               widebandProtocol == o.widebandProtocol &&
               (!widebandProtocol || stoichAfr == o.stoichAfr);
    }
    bool operator!=(const LogContext& o) const { return !(*this == o); }
};

// The context of a calibration as the window holds it: the image packed from `cal`.
LogContext contextOf(const Calibration& cal, const Identification& ident, const Image& image,
                     const std::string& calibrationFile);
std::uint32_t crc32(const std::uint8_t* bytes, std::size_t size);

struct ContextEntry {
    std::uint32_t timeMs = 0; // log time from which it holds
    LogContext context;
};

constexpr const char* ContextMagic = "Velmora52 log context 1\n";
// "<base>.context" for "<base>.mlg".
std::string contextPathFor(const std::string& mlgPath);
// One line: time, axis, checksum, identification and file, separated by tabs; with a
// wide-band controller also its protocol key and the stoichiometric ratio ("mts", "14.70").
// Lines without them, as older logs have, are read as logs without a controller.
std::string formatContextEntry(const ContextEntry& e);

struct ContextReadResult {
    bool found = false; // the file exists
    std::string error;  // a damaged line; the entries before it are kept
    std::vector<ContextEntry> entries;
};
ContextReadResult readContextFile(const std::string& path);
} // namespace velmora::log
