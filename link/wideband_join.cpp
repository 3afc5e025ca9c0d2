#include "link/wideband_join.h"

#include <algorithm>

namespace velmora {

void WidebandJoin::add(const WidebandReading& reading) {
    recent_.push_back(reading);
    // Samples come within a tick of the readings; a second of them is plenty.
    while (recent_.size() > 1 && recent_.front().timeMs + 1000 < reading.timeMs)
        recent_.pop_front();
}

void WidebandJoin::join(EngineSample& s) const {
    s.widebandConnected = connected_;
    s.widebandState = WidebandState::NoReading;
    s.widebandLambda.reset();
    s.widebandAgeMs.reset();
    s.stoichAfr = stoich_;
    if (!connected_) return;
    for (auto it = recent_.rbegin(); it != recent_.rend(); ++it) {
        if (it->timeMs > s.timeMs) continue;
        const std::uint64_t age = s.timeMs - it->timeMs;
        s.widebandAgeMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(age, 0xFFFFFFFFu));
        if (age <= WidebandJoinMs) {
            s.widebandState = it->state;
            if (it->state == WidebandState::Ok) s.widebandLambda = it->lambda;
        }
        return;
    }
}

} // namespace velmora
