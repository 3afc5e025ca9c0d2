#include "log/replay.h"

#include <algorithm>

namespace velmora::log {

ReplayClock::ReplayClock(std::vector<TimedFrame> frames) : frames_(std::move(frames)) {
    if (!frames_.empty()) originLog_ = frames_.front().timeMs;
}

std::uint32_t ReplayClock::position(std::uint64_t nowMs) const {
    if (paused_ || nowMs < originNow_) return originLog_;
    const std::uint64_t p = originLog_ + (nowMs - originNow_) * static_cast<std::uint64_t>(speed_);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(p, UINT32_MAX));
}

std::uint32_t ReplayClock::length() const {
    return frames_.empty() ? 0 : frames_.back().timeMs;
}

std::vector<Frame> ReplayClock::due(std::uint64_t nowMs, std::size_t limit) {
    std::vector<Frame> out;
    if (paused_) return out;
    const std::uint32_t now = position(nowMs);
    while (next_ < frames_.size() && frames_[next_].timeMs <= now && out.size() < limit)
        out.push_back(frames_[next_++].frame);
    return out;
}

void ReplayClock::play(std::uint64_t nowMs) {
    if (!paused_) return;
    originNow_ = nowMs;
    paused_ = false;
}

void ReplayClock::pause(std::uint64_t nowMs) {
    if (paused_) return;
    originLog_ = position(nowMs);
    paused_ = true;
}

void ReplayClock::setSpeed(int factor, std::uint64_t nowMs) {
    if (factor < 1) factor = 1;
    originLog_ = position(nowMs);
    originNow_ = nowMs;
    speed_ = factor;
}

void ReplayClock::seek(std::uint32_t logMs, std::uint64_t nowMs) {
    originLog_ = logMs;
    originNow_ = nowMs;
    next_ = static_cast<std::size_t>(
        std::lower_bound(frames_.begin(), frames_.end(), logMs,
                         [](const TimedFrame& f, std::uint32_t t) { return f.timeMs < t; }) -
        frames_.begin());
}

} // namespace velmora::log
