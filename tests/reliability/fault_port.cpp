#include "fault_port.h"

#include <vector>

namespace velmora::reliability {

void FaultPort::reset() {
    pending_.clear();
    holding_ = false;
    heldPolls_ = 0;
    visible_ = 0;
}

Frame FaultPort::monitorFrame() {
    Frame f{};
    for (auto& b : f) b = static_cast<std::uint8_t>(rng_());
    f[0] = static_cast<std::uint8_t>(0xB0 + below(3));
    f[FrameSize - 1] = checkByte(f);
    return f;
}

// Moves what the serial port holds into our queue, damaging the new arrival as drawn. True
// when something arrived.
bool FaultPort::pull() {
    const std::size_t n = inner_.bytesWaiting();
    if (n == 0) return false;
    std::vector<std::uint8_t> chunk(n);
    chunk.resize(inner_.read(chunk.data(), n));
    if (chunk.empty()) return false;

    if (exchangeRunning && exchangeRunning()) {
        for (std::size_t at = 0; at < chunk.size(); at += FrameSize)
            counts.monitorMidExchange += isMonitorCommand(chunk[at]);
    }
    if (chance(odds.flip)) {
        chunk[below(chunk.size())] ^= static_cast<std::uint8_t>(1u << below(8));
        ++counts.flipped;
    }
    if (chance(odds.noise)) {
        const std::size_t stray = 1 + below(5);
        for (std::size_t i = 0; i < stray; ++i)
            pending_.push_back(static_cast<std::uint8_t>(rng_()));
        ++counts.noise;
    }
    const bool monitorBefore = chance(odds.monitor / 2);
    const bool monitorAfter = !monitorBefore && chance(odds.monitor / 2);
    if (monitorBefore) {
        const Frame m = monitorFrame();
        pending_.insert(pending_.end(), m.begin(), m.end());
        ++counts.injectedMonitor;
    }
    pending_.insert(pending_.end(), chunk.begin(), chunk.end());
    if (monitorAfter) {
        const Frame m = monitorFrame();
        pending_.insert(pending_.end(), m.begin(), m.end());
        ++counts.injectedMonitor;
    }
    return true;
}

std::size_t FaultPort::bytesWaiting() {
    const bool arrived = pull();
    if (holding_) {
        // Released with the next arrival, or after a few polls when nothing more comes.
        if (!arrived && ++heldPolls_ < 6) return visible_ = 0;
        holding_ = false;
    } else if (arrived && chance(odds.glue)) {
        holding_ = true;
        heldPolls_ = 0;
        ++counts.glued;
        return visible_ = 0;
    }
    if (arrived && pending_.size() >= FrameSize && chance(odds.split)) {
        ++counts.split;
        return visible_ = 1 + below(FrameSize - 1);
    }
    return visible_ = pending_.size();
}

std::size_t FaultPort::read(std::uint8_t* dst, std::size_t max) {
    std::size_t n = 0;
    while (n < max && n < visible_ && !pending_.empty()) {
        dst[n++] = pending_.front();
        pending_.pop_front();
    }
    visible_ -= n;
    return n;
}

} // namespace velmora::reliability
