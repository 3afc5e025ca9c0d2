// The 22-byte frame used in both directions on the serial line: a command byte, 20 data
// bytes and a check byte chosen so that the XOR of all 22 bytes is 0xFF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmora {

constexpr std::size_t FrameSize = 22;
constexpr std::size_t FrameDataSize = 20;
using Frame = std::array<std::uint8_t, FrameSize>;

// The check byte that makes the XOR of the first 21 bytes and itself 0xFF.
inline std::uint8_t checkByte(const Frame& f) {
    std::uint8_t x = 0xFF;
    for (std::size_t i = 0; i + 1 < FrameSize; ++i) x ^= f[i];
    return x;
}

inline bool checkOk(const Frame& f) {
    return checkByte(f) == f[FrameSize - 1];
}

// A frame with the given command byte and data, its check byte filled in.
inline Frame makeFrame(std::uint8_t command, const std::uint8_t* data = nullptr) {
    Frame f{};
    f[0] = command;
    if (data != nullptr) {
        for (std::size_t i = 0; i < FrameDataSize; ++i) f[1 + i] = data[i];
    }
    f[FrameSize - 1] = checkByte(f);
    return f;
}

// Commands: 0x00 + k programs block k, 0x40 + k reads or verifies it; the unit answers
// with bit 7 of the command inverted. Monitor frames carry 0xB0..0xBF.
constexpr std::uint8_t ProgramCommand = 0x00;
constexpr std::uint8_t ReadCommand = 0x40;
constexpr std::uint8_t ReplyBit = 0x80;
inline bool isMonitorCommand(std::uint8_t c) {
    return (c & 0xF0) == 0xB0;
}

} // namespace velmora
