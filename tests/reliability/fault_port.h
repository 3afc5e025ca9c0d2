// A port between the serial port and the link that damages the line the way a real one can:
// frames that arrive glued to the next one or in two pieces, flipped bits, stray bytes before
// a frame and monitor frames pushed in between replies. Every fault is drawn from the given
// generator, so a run can be repeated.
#pragma once

#include "link/port.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <random>

namespace velmora::reliability {

struct LineOdds {
    double glue = 0;    // an arrival is held back until the next one, and read with it
    double split = 0;   // only part of a frame has arrived at this poll
    double flip = 0;    // one bit of an arrival is inverted
    double noise = 0;   // a few stray bytes come before an arrival
    double monitor = 0; // a monitor frame comes right before or after an arrival
};

struct LineCounts {
    int glued = 0, split = 0, flipped = 0, noise = 0, injectedMonitor = 0;
    int monitorMidExchange = 0; // sent by the unit while an exchange was running
    int total() const { return glued + split + flipped + noise + injectedMonitor; }
};

class FaultPort : public FramePort {
public:
    FaultPort(FramePort& inner, std::mt19937_64& rng) : inner_(inner), rng_(rng) {}

    LineOdds odds;
    LineCounts counts;
    // Whether an exchange is running, to count the unit's monitor frames that interrupt one.
    std::function<bool()> exchangeRunning;

    // What was waiting is gone with the line, as when a port is closed and opened again.
    void reset();

    bool isOpen() const override { return inner_.isOpen(); }
    std::size_t bytesWaiting() override;
    std::size_t read(std::uint8_t* dst, std::size_t max) override;
    void writeFrame(const Frame& frame) override { inner_.writeFrame(frame); }
    void close() override { inner_.close(); }

private:
    bool chance(double p) {
        return p > 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < p;
    }
    std::size_t below(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }
    bool pull();
    Frame monitorFrame();

    FramePort& inner_;
    std::mt19937_64& rng_;
    std::deque<std::uint8_t> pending_;
    bool holding_ = false;
    int heldPolls_ = 0;
    std::size_t visible_ = 0;
};

} // namespace velmora::reliability
