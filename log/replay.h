// The clock of a replay: which frames of a frame log are due, at 1x, 4x or 16x, with pause
// and seek. Plain arithmetic on the caller's clock, so it is tested without waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "log/frame_log.h"

namespace velmora::log {

class ReplayClock {
public:
    explicit ReplayClock(std::vector<TimedFrame> frames);

    // Frames whose log time has come by nowMs, in order; at most `limit`, so a long stall
    // does not flood the decoder (the rest follow at the next call).
    std::vector<Frame> due(std::uint64_t nowMs, std::size_t limit = 64);

    void play(std::uint64_t nowMs);
    void pause(std::uint64_t nowMs);
    bool paused() const { return paused_; }
    // 1, 4 or 16 (any positive factor works); keeps the current position.
    void setSpeed(int factor, std::uint64_t nowMs);
    int speed() const { return speed_; }
    // Jumps to a log time; the next frame due is the first at or after it.
    void seek(std::uint32_t logMs, std::uint64_t nowMs);

    std::uint32_t position(std::uint64_t nowMs) const; // log time now, ms
    std::uint32_t length() const;                      // log time of the last frame
    bool finished() const { return next_ >= frames_.size(); }
    std::size_t played() const { return next_; }
    std::uint32_t timeOf(std::size_t index) const { return frames_[index].timeMs; }
    std::size_t size() const { return frames_.size(); }

private:
    std::vector<TimedFrame> frames_;
    std::size_t next_ = 0;
    std::uint64_t originNow_ = 0; // caller time at which the log time was originLog_
    std::uint32_t originLog_ = 0;
    int speed_ = 1;
    bool paused_ = true;
};

} // namespace velmora::log
