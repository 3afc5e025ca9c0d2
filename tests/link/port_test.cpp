#include "fake_unit.h"
#include "link/framer.h"
#include "link/link.h"
#include "tests/common/frames.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <random>
#include <string>

using namespace velmora;
using namespace velmora::testing;

namespace {

Frame randomFrame(std::mt19937& rng, std::uint8_t command, std::uint8_t dataBelow = 0) {
    std::uint8_t data[FrameDataSize];
    for (auto& b : data) b = static_cast<std::uint8_t>(dataBelow ? rng() % dataBelow : rng());
    return makeFrame(command, data);
}

// Bytes that can start no frame, so junk made of them can never pass for one.
std::uint8_t junkByte(std::mt19937& rng) {
    return static_cast<std::uint8_t>(rng() % 0x80);
}

} // namespace

// Frames glued back to back, with junk, damaged frames and the tail of a lost frame between
// them, cut into chunks at random places, the line falling quiet at the end. A frame in step
// with the stream (after a frame) comes out at once; one found after junk only when the next
// frame begins right after it or the line falls quiet where it ends, so that a chance match
// across junk never passes for a frame. Whatever the cuts, the frames come out in order.
TEST(Framer, FindsEveryFrameInStepHoweverTheStreamIsCut) {
    std::mt19937 rng(52);
    enum Kind { Junk, Damaged, Valid };
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> line;
        std::vector<std::pair<Kind, Frame>> parts;
        // The stream starts anywhere inside a frame whose head was lost.
        const Frame lost = randomFrame(rng, 0xB0, 0x80);
        line.insert(line.end(), lost.begin() + 1 + rng() % 21, lost.end());
        parts.push_back({Junk, {}});
        for (int n = 0; n < 30; ++n) {
            switch (rng() % 6) {
            case 0: { // junk
                const unsigned count = 1 + rng() % 30;
                for (unsigned j = 0; j < count; ++j) line.push_back(junkByte(rng));
                parts.push_back({Junk, {}});
                break;
            }
            case 1: { // a frame damaged on the line
                Frame bad = randomFrame(rng, static_cast<std::uint8_t>(0xB0 + rng() % 3), 0x80);
                bad[1 + rng() % 20] ^= 0x01;
                line.insert(line.end(), bad.begin(), bad.end());
                parts.push_back({Damaged, bad});
                break;
            }
            default: { // a monitor frame or a reply to any block
                const std::uint8_t c = rng() % 3 ? static_cast<std::uint8_t>(0xB0 + rng() % 16)
                                                 : static_cast<std::uint8_t>(0xC0 + rng() % 12);
                parts.push_back({Valid, randomFrame(rng, c)});
                line.insert(line.end(), parts.back().second.begin(), parts.back().second.end());
            }
            }
        }
        std::vector<Frame> expected;
        for (std::size_t i = 1; i < parts.size(); ++i) {
            if (parts[i].first != Valid) continue;
            const bool inStep = parts[i - 1].first == Valid && !expected.empty() &&
                                expected.back() == parts[i - 1].second;
            const bool confirmed = i + 1 == parts.size() || parts[i + 1].first == Valid;
            if (inStep || confirmed) expected.push_back(parts[i].second);
        }
        Framer framer;
        std::vector<Frame> got;
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t n = std::min<std::size_t>(line.size() - at, rng() % 60);
            framer.append(line.data() + at, n);
            at += n;
            while (std::optional<Frame> f = framer.next()) got.push_back(*f);
        }
        framer.lineQuiet();
        while (std::optional<Frame> f = framer.next()) got.push_back(*f);
        ASSERT_EQ(got, expected) << "round " << round;
        EXPECT_LT(framer.held(), FrameSize); // at most a start waiting for its rest
    }
}

// A sender that stalls inside a frame, longer than the line's quiet, loses nothing: the start
// of the frame waits for its rest.
TEST(Framer, AFrameStalledOnTheWayWaitsForItsRest) {
    std::mt19937 rng(3);
    const Frame a = randomFrame(rng, 0xB0), b = randomFrame(rng, 0xB1), c = randomFrame(rng, 0xB2);
    for (std::size_t cut = 1; cut < FrameSize; ++cut) {
        Framer framer;
        framer.append(a.data(), a.size());
        framer.append(b.data(), cut);
        EXPECT_EQ(framer.next(), a);
        framer.lineQuiet();
        EXPECT_EQ(framer.next(), std::nullopt);
        framer.append(b.data() + cut, FrameSize - cut);
        framer.append(c.data(), c.size());
        EXPECT_EQ(framer.next(), b) << "cut after " << cut;
        EXPECT_EQ(framer.next(), c);
    }
}

// A flood of junk neither grows the buffer nor hides the frame that follows it.
TEST(Framer, AFloodOfJunkIsBoundedAndTheNextFrameIsFoundAtOnce) {
    FakePort port;
    std::mt19937 rng(7);
    for (int i = 0; i < 1'500'000; ++i) port.rx.push_back(static_cast<std::uint8_t>(rng()));
    const Frame f = makeFrame(0xB1);
    port.put(f);
    Framer framer;
    receive(port, framer);
    EXPECT_LT(port.rx.size(), 1'500'000u - Framer::Capacity);
    receive(port, framer);
    EXPECT_TRUE(port.rx.empty());
    EXPECT_LE(framer.held(), Framer::Capacity);
    framer.lineQuiet();
    std::optional<Frame> last;
    while (std::optional<Frame> g = framer.next()) last = g;
    EXPECT_EQ(last, f);
}

class PollPort : public ::testing::Test, protected LinkOnFakePort {};

TEST_F(PollPort, MonitorRangeGoesToTheDecoderAndTheRestToTheReplyHandler) {
    int monitorUpdates = 0;
    link.onMonitorChanged = [&] { ++monitorUpdates; };

    link.exchange().startRead();
    port.rx.clear();
    port.put(common::monitorFrame(7, 100)); // period 100: 20000 rpm
    link.tick();
    EXPECT_EQ(monitorUpdates, 1);
    EXPECT_EQ(link.monitor().view().line(MonitorLabel::Rpm).text, "RPM = 20000 ");
    EXPECT_FALSE(link.exchange().view().noConnectionVisible);
    EXPECT_EQ(link.exchange().CommandByte, 0x40);

    // 0xAF starts no frame the unit sends; 0xC0 is a reply. Found after the skipped bytes, the
    // reply is taken when the line falls quiet after it.
    port.put(makeFrame(0xAF));
    link.tick();
    EXPECT_EQ(link.exchange().CommandByte, 0x40);
    port.put(unit.replyTo(makeFrame(0x40)));
    link.tick();
    EXPECT_EQ(link.exchange().CommandByte, 0x40);
    link.tick();
    EXPECT_EQ(link.exchange().CommandByte, 0x41);
    EXPECT_EQ(monitorUpdates, 1);
}

// Frames that arrive faster than the tick: every monitor frame is decoded in order, the
// exchange takes one reply per tick, and the bytes of a frame still arriving are kept.
TEST_F(PollPort, ATickDecodesEveryMonitorFrameAndTakesOneReply) {
    std::vector<std::uint8_t> decoded;
    const Subscription listening =
        link.samples().subscribe([&](const EngineSample& s) { decoded.push_back(s.frame[2]); });
    const auto monitor = [](std::uint8_t tag) {
        std::uint8_t data[FrameDataSize]{};
        data[1] = tag;
        return makeFrame(0xB0, data);
    };

    link.exchange().startRead();
    port.rx.clear();
    unit.silent = true;
    port.put(monitor(1));
    port.put(unit.replyTo(makeFrame(0x40)));
    port.put(unit.replyTo(makeFrame(0x40))); // a late duplicate of the same reply
    port.put(monitor(2));
    const Frame third = monitor(3);
    port.rx.insert(port.rx.end(), third.begin(), third.begin() + 8);
    link.tick();
    EXPECT_EQ(decoded, std::vector<std::uint8_t>({1}));
    EXPECT_EQ(link.exchange().CommandByte, 0x41);
    port.rx.insert(port.rx.end(), third.begin() + 8, third.end());
    link.tick();
    EXPECT_EQ(decoded, std::vector<std::uint8_t>({1, 2, 3}));
    EXPECT_EQ(link.exchange().CommandByte, 0x41) << "the duplicate is no reply to block 1";
    EXPECT_EQ(link.monitor().view().line(MonitorLabel::Rpm).text, "RPM = 666666 ") << "the newest";
}

// A sample is complete once every frame kind has come on this connection; a lost connection
// and either end of a replay make it wait for all of them again. Each sample carries its
// arrival on the link's clock and whether a replay fed it.
TEST_F(PollPort, SamplesAreCompleteOnceEveryKindCameOnThisConnection) {
    std::vector<EngineSample> got;
    const Subscription listening =
        link.samples().subscribe([&](const EngineSample& s) { got.push_back(s); });
    const auto kinds = [&](std::initializer_list<std::uint8_t> ks) {
        got.clear();
        for (const std::uint8_t k : ks) {
            port.put(makeFrame(static_cast<std::uint8_t>(0xB0 + k)));
            link.tick();
        }
        std::vector<bool> complete;
        for (const EngineSample& s : got) complete.push_back(s.complete());
        return complete;
    };
    EXPECT_EQ(kinds({0, 1, 5, 2, 0}), (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(got[1].kind(), 1);
    EXPECT_LT(got[0].timeMs, got[1].timeMs);
    EXPECT_FALSE(got[0].replayed);
    // Ticks without frames until "No Connection" and as long as that takes.
    for (int t = 0; t <= Exchange::NoMonitorLimit; ++t) link.tick();
    EXPECT_EQ(kinds({0, 1, 2}), (std::vector<bool>{false, false, true}));
    link.startReplay();
    ASSERT_TRUE(link.replayFrame(makeFrame(0xB0)));
    EXPECT_TRUE(got.back().replayed);
    EXPECT_FALSE(got.back().complete());
    link.endReplay();
    EXPECT_EQ(kinds({2, 1, 0}), (std::vector<bool>{false, false, true}));
    // A replay that an exchange ends, its kinds all seen.
    link.startReplay();
    for (const std::uint8_t k : {0, 1, 2}) ASSERT_TRUE(link.replayFrame(makeFrame(0xB0 + k)));
    EXPECT_TRUE(got.back().complete());
    unit.silent = true;
    link.exchange().startRead();
    EXPECT_FALSE(link.replaying());
    EXPECT_EQ(kinds({0}), (std::vector<bool>{false}));
}

TEST_F(PollPort, NoPortMeansTimeOutsAndNoConnection) {
    link.setPort(nullptr);
    int sent = 0;
    link.onSent = [&](const Frame&) { ++sent; };
    link.exchange().startProgram();
    for (int t = 0; t < 41 && link.exchange().busy(); ++t) link.tick();
    EXPECT_FALSE(link.exchange().busy());
    EXPECT_EQ(sent, 5);
    EXPECT_EQ(*link.exchange().view().message, Message::ProgramError);
    EXPECT_TRUE(link.exchange().view().noConnectionVisible);
}

// Listeners come and go on their own, even from inside a call, each getting every frame once
// while it listens; a subscription may outlive the stream it came from.
TEST(Stream, ListenersComeAndGoOnTheirOwn) {
    auto stream = std::make_unique<Stream<Frame, bool>>();
    std::vector<std::string> calls;
    Subscription a, b, c;
    a = stream->subscribe([&](const Frame&, bool replayed) {
        calls.push_back(replayed ? "a replayed" : "a");
        b.reset();
    });
    b = stream->subscribe([&](const Frame&, bool) { calls.push_back("b"); });
    c = stream->subscribe([&](const Frame&, bool) { calls.push_back("c"); });
    stream->publish(makeFrame(0xB0), false);
    stream->publish(makeFrame(0xB1), true);
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "c", "a replayed", "c"}));
    EXPECT_EQ(stream->listeners(), 2u);
    stream.reset();
    a.reset();
}
