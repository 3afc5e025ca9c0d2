// The control unit's side of the block protocol: it answers read requests with its
// blocks, stores and echoes programmed blocks 1..11 and answers block 0 of a program with
// its own identification. Pure logic: no time and no I/O.
#pragma once

#include "link/frame.h"
#include "model/calibration.h"

#include <cstdint>
#include <optional>

namespace velmora::sim {

constexpr std::uint8_t ReadForbiddenBit = 0x20; // ZakazCteni in flag byte A

class SimUnit {
public:
    // wrongEchoBlock 1..11 makes every echo of that block carry one wrong byte; 0 = none.
    explicit SimUnit(const Image& image, int wrongEchoBlock = 0,
                     std::uint16_t programmingCount = 0);

    // The reply to one request frame, or nothing for a frame the unit does not answer
    // (wrong check byte, a reply or monitor command, a block above 11).
    std::optional<Frame> handleRequest(const Frame& request);

    // The unit's image: block 0 is its identification, blocks 1..11 its calibration.
    const Image& image() const { return image_; }

    // The unit hands out its calibration only when ReadEnable is 1 and the stored
    // calibration does not forbid reading.
    bool readable() const;

    std::uint16_t programmingCount() const { return programmingCount_; }

    // True once after each programming that stored block 11.
    bool takeProgrammingCompleted();

private:
    Frame blockReply(std::uint8_t command, const std::uint8_t* data) const;

    Image image_;
    int wrongEchoBlock_;
    std::uint16_t programmingCount_;
    bool programmingCompleted_ = false;
};

} // namespace velmora::sim
