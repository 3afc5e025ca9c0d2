#include "link/framer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace velmora {

void Framer::append(const std::uint8_t* bytes, std::size_t n) {
    if (n >= Capacity) {
        skipped_ += held() + (n - Capacity);
        bytes += n - Capacity;
        n = Capacity;
        begin_ = end_ = 0;
    } else if (held() + n > Capacity) {
        const std::size_t drop = held() + n - Capacity;
        skipped_ += drop;
        begin_ += drop;
    }
    if (end_ + n > buf_.size()) {
        std::memmove(buf_.data(), buf_.data() + begin_, held());
        end_ -= begin_;
        begin_ = 0;
    }
    std::memcpy(buf_.data() + end_, bytes, n);
    end_ += n;
}

std::optional<Frame> Framer::next() {
    while (begin_ < end_) {
        if (!isUnitCommand(buf_[begin_])) {
            ++begin_;
            ++skipped_;
            continue;
        }
        // A possible start whose rest has not arrived: wait for it.
        if (held() < FrameSize) break;
        Frame f;
        std::copy_n(buf_.data() + begin_, FrameSize, f.begin());
        if (checkOk(f)) {
            begin_ += FrameSize;
            if (begin_ == end_) begin_ = end_ = 0;
            return f;
        }
        ++begin_;
        ++skipped_;
    }
    if (begin_ == end_) begin_ = end_ = 0;
    return std::nullopt;
}

void Framer::clear() {
    begin_ = end_ = 0;
}

void receive(FramePort& port, Framer& framer) {
    if (!port.isOpen()) return;
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
}

} // namespace velmora
