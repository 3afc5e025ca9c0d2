// Finds the unit's frames in the bytes the port delivers. Bytes after a whole frame wait for
// the next poll; bytes that start no valid frame (noise, a frame damaged on the line, the tail
// of a frame whose head was lost) are skipped one at a time until a valid frame begins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/frame.h"
#include "link/port.h"

namespace velmora {

// A command byte the unit can send: a monitor frame, or a reply to a block request (bit 7
// set, block 0..11). Anything else cannot start a frame.
inline bool isUnitCommand(std::uint8_t c) {
    return isMonitorCommand(c) || ((c & ReplyBit) != 0 && (c & 0x3F) <= 11);
}

class Framer {
public:
    // At most this many bytes are held; beyond it the oldest go. It is several times what a
    // 9600-baud line brings in a tick, so only a flood of junk ever reaches it.
    static constexpr std::size_t Capacity = 4096;

    void append(const std::uint8_t* bytes, std::size_t n);
    // The next whole frame with a good check byte and a command byte the unit sends, skipping
    // whatever comes before it; nullopt when no whole frame is held yet. A frame found after
    // skipped bytes could be a chance match across junk, so it is taken only once the stream
    // shows it in step: another frame begins right after it, or the line falls quiet where it
    // ends.
    std::optional<Frame> next();
    // The line has been quiet for longer than the bytes of one frame are ever apart: bytes held
    // that do not make a whole frame never will.
    void lineQuiet();
    void clear();

    std::size_t held() const { return end_ - begin_; }

private:
    Frame at(std::size_t pos) const;
    bool validAt(std::size_t pos) const;
    void skip();

    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(2 * Capacity);
    std::size_t begin_ = 0, end_ = 0;
    bool aligned_ = true; // the held bytes start where a frame or a quiet line ended
};

// Reads everything waiting at the port into the framer (bounded per call, so a source that
// never stops cannot hold the tick); returns the count read.
std::size_t receive(FramePort& port, Framer& framer);

} // namespace velmora
