// Monitor frames the tests hand to the link, built in one place.
#pragma once

#include "link/frame.h"

#include <initializer_list>
#include <utility>

namespace velmora::common {

// A frame with command `command`, the given bytes set at their positions and the check byte
// filled in; every other byte is 0.
inline Frame frameWith(std::uint8_t command,
                       std::initializer_list<std::pair<int, int>> bytes = {}) {
    Frame f{};
    f[0] = command;
    for (auto [at, v] : bytes) f[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(v);
    f[FrameSize - 1] = checkByte(f);
    return f;
}

// A monitor frame of `kind` (0xB0 + kind) whose engine-speed period is `period`.
inline Frame monitorFrame(int kind, unsigned period,
                          std::initializer_list<std::pair<int, int>> bytes = {}) {
    Frame f = frameWith(static_cast<std::uint8_t>(0xB0 + kind), bytes);
    f[1] = static_cast<std::uint8_t>(period >> 8);
    f[2] = static_cast<std::uint8_t>(period);
    f[FrameSize - 1] = checkByte(f);
    return f;
}

} // namespace velmora::common
