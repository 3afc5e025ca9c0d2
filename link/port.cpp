#include "link/port.h"

#include <array>

namespace velmora {

std::optional<Frame> pollPort(FramePort& port) {
    if (!port.isOpen()) return std::nullopt;
    std::size_t n = port.bytesWaiting();
    if (n < FrameSize) return std::nullopt;
    if (n > ReceiveBufferSize) n = ReceiveBufferSize;
    std::array<std::uint8_t, ReceiveBufferSize> buffer{};
    const std::size_t got = port.read(buffer.data(), n);
    // A read that came up short never passes off stale buffer bytes as a frame.
    if (got < FrameSize) return std::nullopt;
    Frame f{};
    for (std::size_t i = 0; i < FrameSize; ++i) f[i] = buffer[i];
    return f;
}

} // namespace velmora
