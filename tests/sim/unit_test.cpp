#include "sim/unit.h"

#include <gtest/gtest.h>

#include <numeric>

namespace velmora::sim {
namespace {

Image sampleImage() {
    Image image{};
    std::iota(image.begin(), image.end(), std::uint8_t{0});
    image[ReadEnable] = 1;
    image[FormatVersion] = 5;
    image[FlagByteA] = 0;
    return image;
}

Frame request(std::uint8_t command, std::uint8_t fill = 0) {
    std::uint8_t data[FrameDataSize];
    for (std::size_t i = 0; i < FrameDataSize; ++i) data[i] = static_cast<std::uint8_t>(fill + i);
    return makeFrame(command, data);
}

bool dataEquals(const Frame& f, const Image& image, std::size_t block) {
    return std::equal(f.begin() + 1, f.begin() + 21, image.begin() + block * BlockSize);
}

TEST(SimUnit, AnswersReadsWithItsBlocksAndInvertedCommand) {
    const Image image = sampleImage();
    SimUnit unit(image);
    for (std::uint8_t k = 0; k < BlockCount; ++k) {
        auto reply = unit.handleRequest(request(ReadCommand + k));
        ASSERT_TRUE(reply) << int(k);
        EXPECT_EQ((*reply)[0], 0xC0 + k);
        EXPECT_TRUE(checkOk(*reply));
        EXPECT_TRUE(dataEquals(*reply, image, k));
    }
    EXPECT_EQ(unit.image(), image);
}

TEST(SimUnit, ProgramStoresAndEchoesButAnswersBlockZeroWithItsIdentification) {
    const Image image = sampleImage();
    SimUnit unit(image);
    auto first = unit.handleRequest(request(ProgramCommand, 0xA0));
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)[0], 0x80);
    EXPECT_TRUE(dataEquals(*first, image, 0)) << "block 0 is never overwritten";
    EXPECT_FALSE(unit.takeProgrammingCompleted());

    for (std::uint8_t k = 1; k < BlockCount; ++k) {
        const Frame req = request(ProgramCommand + k, static_cast<std::uint8_t>(k * 20));
        auto echo = unit.handleRequest(req);
        ASSERT_TRUE(echo);
        EXPECT_EQ((*echo)[0], 0x80 + k);
        EXPECT_TRUE(std::equal(req.begin() + 1, req.begin() + 21, echo->begin() + 1));
        EXPECT_TRUE(dataEquals(req, unit.image(), k));
        EXPECT_EQ(unit.takeProgrammingCompleted(), k == 11);
    }
    EXPECT_EQ(unit.programmingCount(), 1);
    EXPECT_FALSE(unit.takeProgrammingCompleted()) << "reported once";
}

TEST(SimUnit, WrongEchoBlockStoresTheDataButEchoesOneByteOff) {
    SimUnit unit(sampleImage(), 5);
    const Frame req = request(ProgramCommand + 5, 0x33);
    auto echo = unit.handleRequest(req);
    ASSERT_TRUE(echo);
    EXPECT_TRUE(checkOk(*echo)) << "the check byte is right, only the data differ";
    int differing = 0;
    for (std::size_t i = 1; i <= FrameDataSize; ++i) differing += (*echo)[i] != req[i];
    EXPECT_EQ(differing, 1);
    EXPECT_TRUE(dataEquals(req, unit.image(), 5));
    auto other = unit.handleRequest(request(ProgramCommand + 6, 0x44));
    ASSERT_TRUE(other);
    EXPECT_TRUE(
        std::equal(other->begin() + 1, other->begin() + 21, unit.image().begin() + 6 * BlockSize));
}

TEST(SimUnit, ReadProtectionHidesTheCalibrationButNotTheIdentification) {
    Image image = sampleImage();
    image[ReadEnable] = 0;
    SimUnit unit(image);
    auto block0 = unit.handleRequest(request(ReadCommand));
    ASSERT_TRUE(block0);
    EXPECT_TRUE(dataEquals(*block0, image, 0));
    auto block3 = unit.handleRequest(request(ReadCommand + 3));
    ASSERT_TRUE(block3);
    for (std::size_t i = 1; i <= FrameDataSize; ++i) EXPECT_EQ((*block3)[i], 0);
    // Programming still works on a protected unit.
    EXPECT_TRUE(unit.handleRequest(request(ProgramCommand + 3, 9)));
    EXPECT_EQ(unit.image()[60], 9);
}

TEST(SimUnit, ProgrammingNoReadingLocksTheUnitAndClearingItUnlocks) {
    SimUnit unit(sampleImage());
    EXPECT_TRUE(unit.readable());
    std::uint8_t flags[FrameDataSize] = {ReadForbiddenBit};
    unit.handleRequest(makeFrame(ProgramCommand + 1, flags));
    EXPECT_FALSE(unit.readable());
    auto block0 = unit.handleRequest(request(ReadCommand));
    ASSERT_TRUE(block0);
    EXPECT_EQ((*block0)[1 + ReadEnable], 0);
    flags[0] = 0;
    unit.handleRequest(makeFrame(ProgramCommand + 1, flags));
    EXPECT_TRUE(unit.readable());
}

TEST(SimUnit, IgnoresWhatIsNotAValidRequest) {
    SimUnit unit(sampleImage());
    Frame bad = request(ReadCommand + 2);
    bad[21] ^= 0x01;
    EXPECT_FALSE(unit.handleRequest(bad));
    EXPECT_FALSE(unit.handleRequest(request(ReadCommand + 12)));
    EXPECT_FALSE(unit.handleRequest(request(ProgramCommand + 12)));
    EXPECT_FALSE(unit.handleRequest(request(0xC1)));
    EXPECT_FALSE(unit.handleRequest(request(0xB0)));
    EXPECT_EQ(unit.image(), sampleImage());
}

} // namespace
} // namespace velmora::sim
