#include "sim/unit.h"

#include <algorithm>
#include <array>

namespace velmora::sim {

SimUnit::SimUnit(const Image& image, int wrongEchoBlock, std::uint16_t programmingCount)
    : image_(image), wrongEchoBlock_(wrongEchoBlock), programmingCount_(programmingCount) {}

bool SimUnit::readable() const {
    return image_[ReadEnable] == 1 && (image_[FlagByteA] & ReadForbiddenBit) == 0;
}

bool SimUnit::takeProgrammingCompleted() {
    bool done = programmingCompleted_;
    programmingCompleted_ = false;
    return done;
}

Frame SimUnit::blockReply(std::uint8_t command, const std::uint8_t* data) const {
    return makeFrame(static_cast<std::uint8_t>(command ^ ReplyBit), data);
}

std::optional<Frame> SimUnit::handleRequest(const Frame& request) {
    if (!checkOk(request)) return std::nullopt;
    const std::uint8_t command = request[0];
    if ((command & ReplyBit) != 0) return std::nullopt;
    const std::size_t block = command & 0x3F;
    if (block >= BlockCount) return std::nullopt;
    std::uint8_t* stored = image_.data() + block * BlockSize;

    if ((command & ReadCommand) != 0) {
        std::array<std::uint8_t, BlockSize> data{};
        if (block == 0) {
            std::copy(stored, stored + BlockSize, data.begin());
            // A calibration that forbids reading shows as a refusal in block 0.
            if (!readable() && data[ReadEnable] == 1) data[ReadEnable] = 0;
        } else if (readable()) {
            std::copy(stored, stored + BlockSize, data.begin());
        }
        return blockReply(command, data.data());
    }

    // Programming: block 0 is answered with the unit's own identification, never stored.
    if (block == 0) return blockReply(command, stored);
    std::copy(request.begin() + 1, request.begin() + 1 + BlockSize, stored);
    std::array<std::uint8_t, BlockSize> echo{};
    std::copy(stored, stored + BlockSize, echo.begin());
    if (static_cast<int>(block) == wrongEchoBlock_) echo[0] ^= 0x01;
    if (block == BlockCount - 1) {
        ++programmingCount_;
        programmingCompleted_ = true;
    }
    return blockReply(command, echo.data());
}

} // namespace velmora::sim
