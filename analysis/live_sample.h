// Engine samples from the monitor frames the unit sends while connected.
#pragma once

#include <cstdint>

#include "analysis/map_stats.h"
#include "link/frame.h"
#include "link/monitor.h"

namespace velmora::analysis {

// Holds what frames of one kind carry for the frames of the others (the switch states come
// with kind-1 frames only, the throttle and temperatures with kind 2).
class LiveSampleBuilder {
public:
    // After the decoder accepted `frame` and left `values`.
    EngineSample update(const Frame& frame, const MonitorValues& values, std::uint8_t advanceMax,
                        double timeS);
    // The advance the unit last reported, in degrees.
    int advance() const { return advance_; }

private:
    bool startLimiter_ = false, blocking_ = false;
    int advance_ = 0;
};

} // namespace velmora::analysis
