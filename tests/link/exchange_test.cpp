#include "fake_unit.h"
#include "link/link.h"

#include <gtest/gtest.h>

#include <random>

using namespace velmora;
using namespace velmora::testing;

namespace {

class ExchangeTest : public ::testing::Test, protected LinkOnFakePort {
protected:
    int shows = 0;
    int fileCleared = 0;

    ExchangeTest() {
        cal[Klicovani] = 6;
        setDefaultCalibration(cal);
        link.onShow = [this] { ++shows; };
        link.onFileNameCleared = [this] { ++fileCleared; };
    }

    Exchange& ex() { return link.exchange(); }
    const ExchangeView& view() { return link.exchange().view(); }

    // Ticks until the exchange ends; the count, or -1 if it never does within the bound.
    int runToEnd(int bound = 1000) {
        for (int t = 1; t <= bound; ++t) {
            link.tick();
            if (!ex().busy()) return t;
        }
        return -1;
    }

    std::vector<std::uint8_t> sentCommands() const {
        std::vector<std::uint8_t> c;
        for (const Frame& f : port.sent) c.push_back(f[0]);
        return c;
    }

    int countSent(std::uint8_t command) const {
        int n = 0;
        for (const Frame& f : port.sent) n += f[0] == command;
        return n;
    }

    void expectMessage(Message m, const char* text, Colour colour) {
        ASSERT_TRUE(view().message.has_value());
        EXPECT_EQ(*view().message, m);
        EXPECT_EQ(view().messageText, text);
        EXPECT_EQ(view().messageColour, colour);
        EXPECT_TRUE(view().messageVisible);
        // Set by a command, or by a tick whose own countdown step follows.
        EXPECT_GE(ex().MessageCountdown, Exchange::MessageTicks - 1);
    }
};

std::vector<std::uint8_t> range(std::uint8_t first, std::uint8_t last) {
    std::vector<std::uint8_t> v;
    for (int c = first; c <= last; ++c) v.push_back(static_cast<std::uint8_t>(c));
    return v;
}

} // namespace

TEST_F(ExchangeTest, FirstRequestsAreExactOnTheWire) {
    ex().startRead();
    Frame read{};
    read[0] = 0x40;
    read[21] = 0xBF;
    ASSERT_EQ(port.sent.size(), 1u);
    EXPECT_EQ(port.sent[0], read);
    EXPECT_EQ(port.rx.front(), 0xC0);

    // Right after start-up nothing has been received: block 0 goes out as twenty zeros.
    ex().startProgram();
    Frame program{};
    program[21] = 0xFF;
    ASSERT_EQ(port.sent.size(), 2u);
    EXPECT_EQ(port.sent[1], program);
    EXPECT_EQ(port.rx[FrameSize], 0x80);
}

TEST_F(ExchangeTest, ReadWithItsVerifyTakesTheUnitsCalibration) {
    const Calibration before = cal;
    ex().startRead();
    expectMessage(Message::ReadStarted, "Read device:", Colour::BtnFace);
    EXPECT_TRUE(view().progressVisible);
    EXPECT_EQ(view().progressPosition, 0);
    EXPECT_EQ(fileCleared, 1);

    // One block per tick: 12 read and 11 verify replies.
    EXPECT_EQ(runToEnd(), 23);
    expectMessage(Message::VerifyOk, "Verify OK", Colour::BtnFace);
    EXPECT_FALSE(view().progressVisible);
    EXPECT_FALSE(ex().AwaitingReply);

    std::vector<std::uint8_t> expected = range(0x40, 0x4B);
    const std::vector<std::uint8_t> verify = range(0x41, 0x4B);
    expected.insert(expected.end(), verify.begin(), verify.end());
    EXPECT_EQ(sentCommands(), expected);
    for (std::size_t i = 0; i < 12; ++i) {
        for (std::size_t b = 1; b <= 20; ++b) EXPECT_EQ(port.sent[i][b], 0) << "read " << i;
    }

    EXPECT_EQ(image, unit.image);
    Calibration fromUnit;
    Identification id;
    unpack(unit.image, fromUnit, id);
    EXPECT_EQ(cal, fromUnit);
    EXPECT_NE(cal, before);
    EXPECT_EQ(ident.program, "ABC07");
    EXPECT_EQ(ident.date, " 5. 2.2002");
    EXPECT_EQ(ident.time, "16:21");
    EXPECT_EQ(shows, 1);
}

TEST_F(ExchangeTest, VerifyAndProgramTakeOneTickPerBlock) {
    pack(cal, image);
    const Image unitBlock0 = unit.image;
    unit.image = image;
    for (std::size_t i = 0; i < BlockSize; ++i) unit.image[i] = unitBlock0[i];
    ex().startVerify();
    expectMessage(Message::VerifyStarted, "Verify device:", Colour::BtnFace);
    EXPECT_EQ(runToEnd(), 11);
    EXPECT_EQ(sentCommands(), range(0x41, 0x4B));
    EXPECT_EQ(*view().message, Message::VerifyOk);

    port.sent.clear();
    cal[Omez1] = static_cast<std::uint8_t>(cal[Omez1] + 3);
    clamp(cal);
    pack(cal, image);
    ex().startProgram();
    expectMessage(Message::ProgramStarted, "Program device:", Colour::BtnFace);
    EXPECT_EQ(runToEnd(), 12);
    expectMessage(Message::ProgramOk, "Program device OK", Colour::BtnFace);
    EXPECT_EQ(sentCommands(), range(0x00, 0x0B));
    // The unit now holds the window's blocks 1..11; block 0 became the unit's identification.
    EXPECT_EQ(image, unit.image);
    EXPECT_EQ(ident.program, "ABC07");
    EXPECT_EQ(cal[Omez1], unit.image[23]);
}

TEST_F(ExchangeTest, ProgressStepsPerAcceptedReplyAndStaysFull) {
    ex().startRead();
    std::vector<int> positions;
    for (int t = 0; t < 12; ++t) {
        link.tick();
        positions.push_back(view().progressPosition);
    }
    // Blocks 0..10 give eleven steps on a bar of ten; the verify after block 11 starts again.
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 0}));
    expectMessage(Message::VerifyAfterRead, "Verify device:", Colour::BtnFace);
    language = 2;
    runToEnd();
    EXPECT_EQ(view().messageText, "Vergleich OK");
}

TEST_F(ExchangeTest, VerifyAfterASlowReadLeavesTheHiddenBarHidden) {
    ex().startRead();
    for (int t = 0; t < 10; ++t) link.tick();
    // A slow read outlasts the message countdown one tick before its last block.
    ex().MessageCountdown = 1;
    link.tick();
    EXPECT_FALSE(view().progressVisible);
    link.tick();
    expectMessage(Message::VerifyAfterRead, "Verify device:", Colour::BtnFace);
    EXPECT_TRUE(view().messageVisible);
    EXPECT_FALSE(view().progressVisible);
    EXPECT_EQ(view().progressPosition, 0);
}

TEST_F(ExchangeTest, WrongEchoStopsProgrammingAtThatBlock) {
    unit.wrongEchoBlock = 5;
    pack(cal, image);
    ex().startProgram();
    // Blocks 0..4 in five ticks; block 5, sent in tick 5, goes again at ticks 8, 12, 16, 20.
    EXPECT_EQ(runToEnd(), 5 + 19);
    expectMessage(Message::ProgramError, "Program error!", Colour::Red);
    EXPECT_EQ(countSent(0x05), 5);
    for (std::uint8_t c = 0x06; c <= 0x0B; ++c) EXPECT_EQ(countSent(c), 0) << int(c);
    EXPECT_TRUE(view().progressVisible); // left as the failure found it
    EXPECT_EQ(view().progressPosition, 5);
}

TEST_F(ExchangeTest, ReadProtectedUnitShowsItsIdentificationOnly) {
    unit.image[ReadEnable] = 0;
    pack(cal, image);
    const Calibration before = cal;
    ex().startRead();
    EXPECT_EQ(runToEnd(), 1);
    expectMessage(Message::NoReading, "No Reading!", Colour::Red);
    EXPECT_EQ(sentCommands(), std::vector<std::uint8_t>{0x40});
    EXPECT_EQ(cal, before);
    EXPECT_EQ(ident.program, "ABC07");
    EXPECT_EQ(ident.time, "16:21");
    EXPECT_EQ(shows, 1);

    // Programming does not ask for read permission.
    port.sent.clear();
    ex().startProgram();
    EXPECT_EQ(runToEnd(), 12);
    EXPECT_EQ(*view().message, Message::ProgramOk);
}

TEST_F(ExchangeTest, OtherFormatVersionIsRefusedOnReadAndProgram) {
    unit.image[FormatVersion] = 4;
    ex().startRead();
    EXPECT_EQ(runToEnd(), 1);
    expectMessage(Message::UnmatchedVersion, "Unmatched version!", Colour::Red);
    EXPECT_EQ(port.sent.size(), 1u);

    port.sent.clear();
    shows = 0;
    ex().startProgram();
    EXPECT_EQ(runToEnd(), 1);
    expectMessage(Message::UnmatchedVersion, "Unmatched version!", Colour::Red);
    EXPECT_EQ(sentCommands(), std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(image[FormatVersion], 4); // block 0 was taken over and shown
    EXPECT_EQ(shows, 1);
}

TEST_F(ExchangeTest, SilentUnitFailsEachExchangeAfterFiveTransmissions) {
    unit.silent = true;
    struct Case {
        void (Exchange::*start)();
        std::uint8_t command;
        Message failure;
        const char* text;
    };
    const Case cases[] = {
        {&Exchange::startRead, 0x40, Message::ReadError, "Read error!"},
        {&Exchange::startVerify, 0x41, Message::VerifyError, "Verify error!"},
        {&Exchange::startProgram, 0x00, Message::ProgramError, "Program error!"},
    };
    for (const Case& c : cases) {
        port.sent.clear();
        (ex().*c.start)();
        // Re-sent at ticks 4, 8, 12 and 16; given up at tick 20, 1.1 s after the command.
        std::vector<int> sentAt;
        int end = -1;
        for (int t = 1; t <= 30 && end < 0; ++t) {
            const std::size_t before = port.sent.size();
            link.tick();
            if (port.sent.size() > before) sentAt.push_back(t);
            if (!ex().busy()) end = t;
        }
        EXPECT_EQ(sentAt, (std::vector<int>{4, 8, 12, 16})) << c.text;
        EXPECT_EQ(end, 20) << c.text;
        EXPECT_EQ(countSent(c.command), 5) << c.text;
        expectMessage(c.failure, c.text, Colour::Red);
    }
}

TEST_F(ExchangeTest, RepliesThatDoNotMatchAreIgnoredUntilTheTimeOut) {
    ex().startRead();
    link.tick(); // block 0 accepted, block 1 requested
    port.rx.clear();
    // A good frame for block 0 again, one with a bad check byte, and a program echo.
    Frame old = unit.replyTo(makeFrame(0x40));
    Frame bad = unit.replyTo(makeFrame(0x41));
    bad[21] ^= 0x10;
    Frame echo = unit.replyTo(makeFrame(0x01, &image[20]));
    for (const Frame& f : {old, bad}) {
        port.put(f);
        link.tick();
    }
    EXPECT_EQ(countSent(0x41), 1);
    port.put(echo);
    link.tick(); // ignored too, and the fourth tick since the request re-sends it
    EXPECT_EQ(ex().CommandByte, 0x41);
    EXPECT_EQ(countSent(0x41), 2);
    link.tick(); // the unit's answer to the re-send
    EXPECT_EQ(ex().CommandByte, 0x42);
}

TEST_F(ExchangeTest, VerifyOfADifferentBlockFails) {
    pack(cal, image);
    unit.image = image;
    unit.image[20 * 7 + 3] ^= 0x20;
    ex().startVerify();
    EXPECT_EQ(runToEnd(), 6 + 19);
    expectMessage(Message::VerifyError, "Verify error!", Colour::Red);
    EXPECT_EQ(countSent(0x47), 5);
    EXPECT_EQ(countSent(0x48), 0);
}

TEST_F(ExchangeTest, NewCommandAbandonsTheRunningExchange) {
    ex().startRead();
    link.tick();
    link.tick(); // block 2 requested; its reply is waiting now
    ASSERT_EQ(port.rx.size(), FrameSize);
    ex().startProgram(); // its reply joins the abandoned one on the line
    // The next poll passes over the abandoned read reply and takes the program's.
    link.tick();
    EXPECT_EQ(ex().Operation, Exchange::Program);
    EXPECT_EQ(ex().CommandByte, 0x01);
    EXPECT_EQ(runToEnd(), 11);
    EXPECT_EQ(*view().message, Message::ProgramOk);
}

// The events of each exchange as a line: starts and ends in words, the replies' blocks in runs
// ("r0-11", "r7*5" for one block five times); a reply to a read or verify carries what the
// unit holds.
class EventTrace {
public:
    EventTrace(Exchange& ex, const FakeUnit& unit)
        : sub_(ex.events().subscribe([this, &unit](const ExchangeEvent& e) { add(e, unit); })) {}
    std::string text() {
        flush();
        return text_;
    }
    const Image& readImage() const { return readImage_; }

private:
    static const char* op(Exchange::Op o) {
        return o == Exchange::Read ? "read" : o == Exchange::Verify ? "verify" : "program";
    }
    void add(const ExchangeEvent& e, const FakeUnit& unit) {
        using K = ExchangeEvent::Kind;
        using R = ExchangeEvent::Result;
        if (e.kind == K::Replied) {
            // A unit that is programmed holds what it was sent; it may echo something else.
            for (std::size_t i = 0; i < BlockSize && e.op != Exchange::Program; ++i)
                EXPECT_EQ(e.data[i], unit.image[e.block * BlockSize + i]) << e.block;
            blocks_.push_back(e.block);
            return;
        }
        flush();
        if (e.kind == K::Started) text_ += std::string(op(e.op)) + " ";
        if (e.kind != K::Ended) return;
        static const char* const results[] = {"ok", "refused", "version", "no match",
                                              "interrupted"};
        text_ += std::string("end ") + results[static_cast<int>(e.result)] + "@" +
                 std::to_string(e.block) + (e.message ? "" : " silent") + "; ";
        if (e.op == Exchange::Read && e.result == R::Succeeded) readImage_ = e.image;
    }
    void flush() {
        for (std::size_t i = 0; i < blocks_.size();) {
            std::size_t j = i;
            const auto repeats = [this](std::size_t at) {
                return at + 1 < blocks_.size() && blocks_[at + 1] == blocks_[at];
            };
            while (j + 1 < blocks_.size() && blocks_[j + 1] == blocks_[j] + 1 && !repeats(j + 1))
                ++j;
            std::size_t same = i;
            while (same + 1 < blocks_.size() && blocks_[same + 1] == blocks_[i]) ++same;
            if (same > i) {
                text_ +=
                    "r" + std::to_string(blocks_[i]) + "*" + std::to_string(same - i + 1) + " ";
                i = same + 1;
            } else {
                text_ += "r" + std::to_string(blocks_[i]) +
                         (j > i ? "-" + std::to_string(blocks_[j]) : "") + " ";
                i = j + 1;
            }
        }
        blocks_.clear();
    }
    Subscription sub_;
    std::vector<std::size_t> blocks_;
    std::string text_;
    Image readImage_{};
};

TEST_F(ExchangeTest, EveryExchangeTellsItsStartRepliesAndResult) {
    struct Case {
        const char* what;
        void (Exchange::*start)();
        std::function<void(FakeUnit&, Image&)> fault;
        const char* events;
    };
    const auto same = [](FakeUnit& u, Image& i) { i = u.image; };
    const Case cases[] = {
        {"read", &Exchange::startRead, nullptr,
         "read r0-11 end ok@11 silent; verify r1-11 end ok@11; "},
        {"read refused", &Exchange::startRead, [](FakeUnit& u, Image&) { u.image[ReadEnable] = 0; },
         "read r0 end refused@0; "},
        {"read of another version", &Exchange::startRead,
         [](FakeUnit& u, Image&) { u.image[FormatVersion] = 4; }, "read r0 end version@0; "},
        {"read unanswered", &Exchange::startRead, [](FakeUnit& u, Image&) { u.silent = true; },
         "read end no match@0; "},
        {"verify", &Exchange::startVerify, same, "verify r1-11 end ok@11; "},
        {"verify of a block that differs", &Exchange::startVerify,
         [](FakeUnit& u, Image& i) {
             i = u.image;
             u.image[20 * 7 + 3] ^= 0x20;
         },
         "verify r1-6 r7*5 end no match@7; "},
        {"program", &Exchange::startProgram, nullptr, "program r0-11 end ok@11; "},
        {"program echoed wrong", &Exchange::startProgram,
         [](FakeUnit& u, Image&) { u.wrongEchoBlock = 5; }, "program r0-4 r5*5 end no match@5; "},
        {"program of another version", &Exchange::startProgram,
         [](FakeUnit& u, Image&) { u.image[FormatVersion] = 4; }, "program r0 end version@0; "},
    };
    for (const Case& c : cases) {
        FakePort p;
        FakeUnit u{p};
        Image img = unitImage(6);
        Calibration k;
        Identification id;
        std::uint8_t lang = 1;
        Link l{k, id, img, lang};
        l.setPort(&p);
        if (c.fault) c.fault(u, img);
        EventTrace trace(l.exchange(), u);
        (l.exchange().*c.start)();
        for (int t = 0; t < 200 && l.exchange().busy(); ++t) l.tick();
        EXPECT_EQ(trace.text(), c.events) << c.what;
        if (c.start == &Exchange::startRead && !c.fault) {
            EXPECT_EQ(trace.readImage(), u.image);
        }
    }

    // A command in the middle of another cuts it short.
    EventTrace trace(ex(), unit);
    ex().startRead();
    link.tick();
    ex().startVerify();
    EXPECT_EQ(trace.text(), "read r0 end interrupted@1 silent; verify ");
}

TEST_F(ExchangeTest, MessagesFollowTheLanguageAndKeepTheirTextOutsideIt) {
    const std::pair<std::uint8_t, const char*> reads[] = {{0, "Čtení:"}, {2, "Lesen:"}};
    for (const auto& [lang, text] : reads) {
        language = lang;
        ex().startRead();
        EXPECT_EQ(view().messageText, text);
    }
    unit.silent = true;
    language = 0;
    ex().startProgram();
    runToEnd();
    EXPECT_EQ(view().messageText, "Chyba programování");

    language = 9;
    ex().startRead();
    EXPECT_EQ(view().messageText, "Chyba programování");
    EXPECT_EQ(view().messageColour, Colour::BtnFace);
    EXPECT_EQ(ex().MessageCountdown, Exchange::MessageTicks);
    runToEnd();
    EXPECT_EQ(view().messageText, "Chyba programování");
    EXPECT_EQ(view().messageColour, Colour::Red);
    EXPECT_EQ(*view().message, Message::ReadError);
}

TEST_F(ExchangeTest, MessageCountdownHidesTheIndicators) {
    ex().startRead();
    runToEnd(); // "Verify OK" is set, and counted once, by this last tick
    for (int t = 0; t < 198; ++t) link.tick();
    EXPECT_TRUE(view().messageVisible);
    link.tick();
    EXPECT_FALSE(view().messageVisible);
    EXPECT_FALSE(view().progressVisible);
    EXPECT_EQ(ex().MessageCountdown, 0);

    // A result that arrives after the countdown ran out is shown again.
    unit.silent = true;
    ex().startRead();
    ex().view().messageVisible = false;
    runToEnd();
    EXPECT_TRUE(view().messageVisible);
    EXPECT_EQ(*view().message, Message::ReadError);
}

TEST_F(ExchangeTest, NoConnectionFollowsValidMonitorFramesOnly) {
    std::vector<ExchangeEvent::Kind> changes;
    const Subscription sub = ex().events().subscribe([&](const ExchangeEvent& e) {
        if (e.kind == ExchangeEvent::Kind::Connected ||
            e.kind == ExchangeEvent::Kind::ConnectionLost)
            changes.push_back(e.kind);
    });
    EXPECT_TRUE(view().noConnectionVisible);
    EXPECT_EQ(view().noConnectionText, "No Connection");
    Frame monitor = makeFrame(0xB0);
    Frame broken = monitor;
    broken[5] ^= 1;
    port.put(broken);
    link.tick();
    EXPECT_TRUE(view().noConnectionVisible);
    // A frame right after a damaged one is taken once the stream shows it in step: here when
    // the line falls quiet after it, at the next poll.
    port.put(monitor);
    link.tick();
    EXPECT_TRUE(view().noConnectionVisible);
    link.tick();
    EXPECT_FALSE(view().noConnectionVisible);
    EXPECT_EQ(ex().NoMonitorTicks, 1); // reset by the frame, counted by the same tick

    // Replies keep coming, but only monitor frames prove the connection.
    ex().startRead();
    for (int t = 0; t < 39; ++t) link.tick();
    EXPECT_FALSE(view().noConnectionVisible);
    link.tick();
    EXPECT_TRUE(view().noConnectionVisible);
    EXPECT_EQ(ex().NoMonitorTicks, 41);
    link.tick();
    EXPECT_EQ(changes,
              (std::vector{ExchangeEvent::Kind::Connected, ExchangeEvent::Kind::ConnectionLost}));
}

TEST_F(ExchangeTest, MonitorFrameGluedToAReplyCostsNothing) {
    ex().startRead();
    link.tick();
    // A monitor frame arrives just before the reply to block 1: one poll decodes the monitor
    // frame and takes the reply glued to it.
    port.rx.clear();
    port.put(makeFrame(0xB2));
    port.put(unit.replyTo(makeFrame(0x41)));
    link.tick();
    EXPECT_FALSE(view().noConnectionVisible);
    EXPECT_EQ(ex().CommandByte, 0x42);
    EXPECT_EQ(runToEnd(), 21);
    EXPECT_EQ(*view().message, Message::VerifyOk);
    EXPECT_EQ(image, unit.image);
}

// Any stream the line can bring ends every exchange in its success or its red failure, and a
// success always means the unit and the window agree.
TEST_F(ExchangeTest, GarbageOnTheLineNeverHangsOrFakesASuccess) {
    std::mt19937 rng(20261208);
    auto chance = [&rng](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
    };
    unit.fault = [&](Frame& reply) {
        if (chance(10)) return false;
        if (chance(10)) reply[std::uniform_int_distribution<int>(0, 21)(rng)] ^= 0x04;
        if (chance(5)) port.put({0x55, 0xAA, 0x00}); // noise ahead of the reply
        if (chance(5)) port.put(makeFrame(0xB1));
        return true;
    };
    int successes = 0;
    for (int round = 0; round < 60; ++round) {
        unit.image = unitImage(static_cast<std::uint8_t>(round % 14));
        port.rx.clear();
        const int op = round % 3;
        if (op == 0) ex().startRead();
        if (op == 1) ex().startVerify();
        if (op == 2) ex().startProgram();
        int ticks = 0;
        for (; ticks < 23 * 20 && ex().busy(); ++ticks) {
            if (chance(3)) port.put({0x41, 0x13}); // a partial frame
            if (chance(2)) ex().startRead();       // the user starts another exchange
            link.tick();
        }
        ASSERT_FALSE(ex().busy()) << "round " << round;
        const Message m = *view().message;
        if (messageIsFailure(m)) {
            EXPECT_EQ(view().messageColour, Colour::Red);
            continue;
        }
        EXPECT_TRUE(m == Message::VerifyOk || m == Message::ProgramOk) << "round " << round;
        EXPECT_EQ(view().messageColour, Colour::BtnFace);
        for (std::size_t i = 20; i < ImageSize; ++i) ASSERT_EQ(image[i], unit.image[i]) << i;
        ++successes;
    }
    EXPECT_GT(successes, 5);
}
