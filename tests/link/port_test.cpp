#include "fake_unit.h"
#include "link/link.h"
#include "link/port.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::testing;

namespace {

std::vector<std::uint8_t> counting(std::size_t n, std::uint8_t first = 0) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

// A port whose reads come up short of what it says is waiting.
class ShortReadPort : public FakePort {
public:
    std::size_t read(std::uint8_t* dst, std::size_t max) override {
        return FakePort::read(dst, max < 10 ? max : 10);
    }
};

} // namespace

TEST(PollPort, WaitsForAWholeFrameThenTakesEverything) {
    FakePort port;
    const std::vector<std::uint8_t> bytes = counting(30, 0x40);
    port.rx.assign(bytes.begin(), bytes.begin() + 21);
    EXPECT_FALSE(pollPort(port).has_value());
    EXPECT_EQ(port.rx.size(), 21u); // stays for a later tick

    port.rx.insert(port.rx.end(), bytes.begin() + 21, bytes.end());
    const std::optional<Frame> f = pollPort(port);
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(std::equal(f->begin(), f->end(), bytes.begin()));
    EXPECT_TRUE(port.rx.empty()); // the 8 bytes after the frame are gone
}

TEST(PollPort, ReadsAtMostOneBufferAndNothingFromAClosedPort) {
    FakePort port;
    const std::vector<std::uint8_t> bytes = counting(1100);
    port.rx.assign(bytes.begin(), bytes.end());
    ASSERT_TRUE(pollPort(port).has_value());
    EXPECT_EQ(port.rx.size(), 1100u - ReceiveBufferSize);

    port.rx.assign(bytes.begin(), bytes.end());
    port.open = false;
    EXPECT_FALSE(pollPort(port).has_value());

    ShortReadPort shortPort;
    shortPort.rx.assign(bytes.begin(), bytes.begin() + 40);
    EXPECT_FALSE(pollPort(shortPort).has_value());
}

TEST(PollPort, MonitorRangeGoesToTheDecoderAndTheRestToTheReplyHandler) {
    Calibration cal;
    Identification ident;
    Image image{};
    std::uint8_t language = 1;
    FakePort port;
    FakeUnit unit(port);
    Link link(cal, ident, image, language);
    link.setPort(&port);
    int monitorUpdates = 0;
    link.onMonitorChanged = [&] { ++monitorUpdates; };

    link.exchange().startRead();
    port.rx.clear();
    Frame monitor = makeFrame(0xB7);
    monitor[2] = 100; // period 100: 20000 rpm
    monitor[21] = checkByte(monitor);
    port.put(monitor);
    link.tick();
    EXPECT_EQ(monitorUpdates, 1);
    EXPECT_EQ(link.monitor().view().line(MonitorLabel::Rpm).text, "RPM = 20000 ");
    EXPECT_FALSE(link.exchange().view().noConnectionVisible);
    EXPECT_EQ(link.exchange().CommandByte, 0x40);

    // 0xAF and 0xC0 are not monitor frames: the reply handler takes them.
    port.put(makeFrame(0xAF));
    link.tick();
    EXPECT_EQ(link.exchange().CommandByte, 0x40);
    port.put(unit.replyTo(makeFrame(0x40)));
    link.tick();
    EXPECT_EQ(link.exchange().CommandByte, 0x41);
    EXPECT_EQ(monitorUpdates, 1);
}

TEST(PollPort, NoPortMeansTimeOutsAndNoConnection) {
    Calibration cal;
    Identification ident;
    Image image{};
    std::uint8_t language = 1;
    Link link(cal, ident, image, language);
    int sent = 0;
    link.onSent = [&](const Frame&) { ++sent; };
    link.exchange().startProgram();
    for (int t = 0; t < 41 && link.exchange().busy(); ++t) link.tick();
    EXPECT_FALSE(link.exchange().busy());
    EXPECT_EQ(sent, 5);
    EXPECT_EQ(*link.exchange().view().message, Message::ProgramError);
    EXPECT_TRUE(link.exchange().view().noConnectionVisible);
}
