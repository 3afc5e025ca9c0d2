#include "link/framer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace velmora {

void Framer::append(const std::uint8_t* bytes, std::size_t n) {
    if (n == 0) return;
    if (n >= Capacity) {
        bytes += n - Capacity;
        n = Capacity;
        begin_ = end_ = 0;
        aligned_ = false;
    } else if (held() + n > Capacity) {
        const std::size_t drop = held() + n - Capacity;
        begin_ += drop;
        aligned_ = false;
    }
    if (end_ + n > buf_.size()) {
        std::memmove(buf_.data(), buf_.data() + begin_, held());
        end_ -= begin_;
        begin_ = 0;
    }
    std::memcpy(buf_.data() + end_, bytes, n);
    end_ += n;
}

Frame Framer::at(std::size_t pos) const {
    Frame f;
    std::copy_n(buf_.data() + pos, FrameSize, f.begin());
    return f;
}

bool Framer::validAt(std::size_t pos) const {
    return isUnitCommand(buf_[pos]) && checkOk(at(pos));
}

void Framer::skip() {
    ++begin_;
    aligned_ = false;
}

std::optional<Frame> Framer::next() {
    while (begin_ < end_) {
        if (!isUnitCommand(buf_[begin_])) {
            skip();
            continue;
        }
        // A possible start whose rest has not arrived: wait for it.
        if (held() < FrameSize) break;
        if (!validAt(begin_)) {
            skip();
            continue;
        }
        if (!aligned_) {
            const std::size_t after = begin_ + FrameSize;
            if (held() > FrameSize && !isUnitCommand(buf_[after])) {
                skip();
                continue;
            }
            if (held() < 2 * FrameSize) break; // the frame after it, or the quiet, decides
            if (!validAt(after)) {
                skip();
                continue;
            }
        }
        const Frame f = at(begin_);
        begin_ += FrameSize;
        aligned_ = true;
        if (begin_ == end_) begin_ = end_ = 0;
        return f;
    }
    if (begin_ == end_) begin_ = end_ = 0;
    return std::nullopt;
}

void Framer::lineQuiet() {
    // In step with the unit, the bytes held are whole frames waiting for the next tick, or the
    // start of the unit's next frame whose rest was held up on the way (a busy sender, an
    // adapter's latency): both wait. Were they no frame, the bytes after them tell.
    if (aligned_) return;
    // A frame that ends where the bytes ended stands where a frame of the unit stands.
    if (held() >= FrameSize && validAt(end_ - FrameSize)) {
        begin_ = end_ - FrameSize;
    } else {
        begin_ = end_ = 0;
    }
    aligned_ = true;
}

void Framer::clear() {
    begin_ = end_ = 0;
    aligned_ = true;
}

std::size_t receive(FramePort& port, Framer& framer) {
    if (!port.isOpen()) return 0;
    constexpr std::size_t MaxPerPoll = 1 << 20;
    // More than a 9600-baud line brings in a second: a flood, which the driver hands over a
    // few kilobytes at a time. It is drained while it lasts, so that the first frame after it
    // is found at this poll.
    constexpr std::size_t Flood = 2048;
    std::array<std::uint8_t, Framer::Capacity> chunk;
    std::size_t total = 0;
    while (total < MaxPerPoll) {
        const std::size_t waiting = port.bytesWaiting();
        if (waiting == 0) {
            if (total < Flood || !port.waitReadable(1)) break;
            continue;
        }
        const std::size_t got = port.read(chunk.data(), std::min(waiting, chunk.size()));
        if (got == 0) break;
        framer.append(chunk.data(), got);
        total += got;
    }
    return total;
}

} // namespace velmora
