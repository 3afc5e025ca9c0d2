// Joins a wide-band controller's readings to the unit's samples by arrival time: a sample
// gets the newest reading that arrived at or before its moment, and only when that reading
// is at most WidebandJoinMs old. Both sides must use the same clock.
#pragma once

#include <deque>

#include "link/engine_sample.h"
#include "link/wideband.h"

namespace velmora {

class WidebandJoin {
public:
    // Readings in arrival order.
    void add(const WidebandReading& reading);
    // Whether a controller is on its port; without one every sample says NoReading.
    void setConnected(bool connected) { connected_ = connected; }
    bool connected() const { return connected_; }
    void setStoichAfr(double afr) { stoich_ = afr; }
    void clear() { recent_.clear(); }

    void join(EngineSample& sample) const;

private:
    std::deque<WidebandReading> recent_; // the last second or so
    bool connected_ = false;
    double stoich_ = 14.7;
};

} // namespace velmora
