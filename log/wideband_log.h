// The raw wide-band log beside each MLG log: every byte the wide-band controller sent, with its
// time, so a replay parses and joins them exactly as the ride did. A file is the magic
// "V52WIDEBAND1\n" followed by entries of a 4-byte big-endian signed time in ms since the log
// start (negative for the second of bytes kept from before it), the 4-byte count of the
// `.frames` entries written before these bytes came, a 2-byte byte count and the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::log {

constexpr char WidebandLogMagic[] = "V52WIDEBAND1\n";
constexpr std::size_t WidebandLogMagicSize = sizeof WidebandLogMagic - 1;
constexpr std::size_t WidebandEntryHeaderSize = 4 + 4 + 2;
constexpr std::size_t WidebandEntryMaxBytes = 0xFFFF;

struct WidebandEntry {
    std::int32_t timeMs = 0;        // since the log start
    std::uint32_t framesBefore = 0; // frames of the frame log that came before these bytes
    std::vector<std::uint8_t> bytes;
};

// Appends the entries of `size` bytes (several when they exceed one entry's 65,535).
void appendWidebandEntry(std::string& out, std::int32_t timeMs, std::uint32_t framesBefore,
                         const std::uint8_t* data, std::size_t size);

struct WidebandLogResult {
    bool ok = false;
    std::string error;
    std::vector<WidebandEntry> entries; // up to the last whole entry
};
WidebandLogResult readWidebandLog(const std::uint8_t* bytes, std::size_t size);
WidebandLogResult readWidebandLogFile(const std::string& path);

// "<base>.wideband" for "<base>.mlg".
std::string widebandLogPathFor(const std::string& mlgPath);

} // namespace velmora::log
