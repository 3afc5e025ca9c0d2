// What the protocol needs of a serial port, and the per-tick poll that takes a frame from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/frame.h"

namespace velmora {

class FramePort {
public:
    virtual ~FramePort() = default;
    virtual bool isOpen() const = 0;
    // Bytes received and not yet read; 0 when the port is not usable.
    virtual std::size_t bytesWaiting() = 0;
    // Reads up to `max` waiting bytes into `dst` without waiting; returns the count read.
    virtual std::size_t read(std::uint8_t* dst, std::size_t max) = 0;
    // Transmits the frame and returns once it has left the port, or after a bounded wait when
    // it cannot drain. Failures are not reported: the re-send rule covers them.
    virtual void writeFrame(const Frame& frame) = 0;
    virtual void close() = 0;
};

// The receive buffer of one poll.
constexpr std::size_t ReceiveBufferSize = 1024;

// PollPort without its dispatch. Fewer than 22 bytes waiting: nothing is read and the bytes
// stay for a later tick. Otherwise everything waiting (at most 1024 bytes) is consumed and the
// first 22 are the frame; whatever followed them is dropped.
std::optional<Frame> pollPort(FramePort& port);

} // namespace velmora
