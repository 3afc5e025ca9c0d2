// The raw frame log beside each MLG log: every valid monitor frame as it came from the unit,
// with its time, so a log can be replayed through the decoder exactly. A file is the magic
// "V52FRAMES1\n" followed by entries of a 4-byte big-endian time in ms and the 22 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/frame.h"

namespace velmora::log {

constexpr char FrameLogMagic[] = "V52FRAMES1\n";
constexpr std::size_t FrameLogMagicSize = sizeof FrameLogMagic - 1;
constexpr std::size_t FrameLogEntrySize = 4 + FrameSize;

struct TimedFrame {
    std::uint32_t timeMs = 0;
    Frame frame{};
};

void appendFrameEntry(std::string& out, std::uint32_t timeMs, const Frame& frame);

struct FrameLogResult {
    bool ok = false;
    std::string error;
    std::vector<TimedFrame> frames; // up to the last whole entry
};
FrameLogResult readFrameLog(const std::uint8_t* bytes, std::size_t size);
FrameLogResult readFrameLogFile(const std::string& path);

// The frame log that belongs to an MLG log: the same name with ".frames" for ".mlg".
std::string frameLogPathFor(const std::string& mlgPath);

} // namespace velmora::log
