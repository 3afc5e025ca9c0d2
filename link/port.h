// What the protocol needs of a serial port.
#pragma once

#include <cstddef>
#include <cstdint>

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
    // Waits up to `ms` for more bytes to arrive; false when none came or the port cannot tell.
    virtual bool waitReadable(int /*ms*/) { return false; }
    // Transmits the frame and returns once it has left the port, or after a bounded wait when
    // it cannot drain. Failures are not reported: the re-send rule covers them.
    virtual void writeFrame(const Frame& frame) = 0;
    virtual void close() = 0;
};

} // namespace velmora
