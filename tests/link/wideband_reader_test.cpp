#include "link/wideband_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <termios.h>

#include "test_pty.h"

using namespace velmora;

namespace {

std::vector<std::uint8_t> text(const std::string& s) {
    return {s.begin(), s.end()};
}

// Runs the event loop, as the window does between ticks, until `done` or two seconds.
template <class F> bool pumpUntil(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

EngineSample sampleAt(std::uint64_t timeMs, bool replayed = false) {
    EngineSample s;
    s.timeMs = timeMs;
    s.replayed = replayed;
    return s;
}

speed_t speedOf(int baud) {
    return baud == 19200 ? B19200 : baud == 9600 ? B9600 : B0;
}

} // namespace

// Bytes are taken when they arrive, not at the next tick: a reading keeps its arrival time,
// and a sample gets it only when the reading is at most 200 ms older than the sample.
TEST(WidebandReader, ReadingsKeepTheirArrivalTimeAndJoinOnlyWhileFresh) {
    std::uint64_t now = 10000;
    WidebandReader reader([&] { return now; });
    Pty pty;
    ASSERT_EQ(reader.open(pty.slavePath, WidebandProtocol::NumberPerLine), OpenResult::Opened);
    std::vector<WidebandBytes> bytes;
    std::vector<WidebandReading> readings;
    const Subscription b =
        reader.bytes().subscribe([&](const WidebandBytes& x) { bytes.push_back(x); });
    const Subscription r =
        reader.readings().subscribe([&](const WidebandReading& x) { readings.push_back(x); });

    // A line without a checksum counts once the line before it checked out too.
    pty.send(text("0.97\n0.98\n"));
    ASSERT_TRUE(pumpUntil([&] { return !readings.empty(); }));
    now = 10040;
    reader.poll();
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].timeMs, 10000u);
    EXPECT_NEAR(readings[0].lambda.value_or(0), 0.98, 1e-9);
    std::string raw;
    for (const WidebandBytes& x : bytes) {
        EXPECT_EQ(x.timeMs, 10000u);
        raw.append(x.data.begin(), x.data.end());
    }
    EXPECT_EQ(raw, "0.97\n0.98\n");

    // Joined by arrival time: at most 200 ms old, never before it arrived; a replayed sample
    // keeps what the replay gave it.
    const struct {
        std::uint64_t time;
        bool replayed;
        bool lambda;
    } rows[] = {{10000, false, true},
                {10200, false, true},
                {10201, false, false},
                {9999, false, false},
                {10100, true, false}};
    for (const auto& row : rows) {
        EngineSample s = sampleAt(row.time, row.replayed);
        reader.join(s);
        EXPECT_EQ(s.widebandLambda.has_value(), row.lambda) << row.time;
        EXPECT_EQ(s.widebandConnected, !row.replayed) << row.time;
    }
}

// Each protocol opens at its own rate, exclusively; Automatic moves the port along with the
// rate it listens at. A device that cannot be opened is described as the unit's port is.
TEST(WidebandReader, OpensExclusivelyAtTheProtocolsRateAndFollowsTheSearch) {
    std::uint64_t now = 0;
    for (int i = 0; i < WidebandProtocolCount; ++i) {
        const auto protocol = static_cast<WidebandProtocol>(i);
        Pty pty;
        WidebandReader reader([&] { return now; });
        ASSERT_EQ(reader.open(pty.slavePath, protocol), OpenResult::Opened) << i;
        termios t = pty.settings();
        EXPECT_EQ(cfgetospeed(&t), speedOf(widebandBaud(protocol))) << i;

        WidebandReader second([&] { return now; });
        EXPECT_EQ(second.open(pty.slavePath, protocol), OpenResult::Failed);
        EXPECT_EQ(second.port().openError(), EBUSY);

        if (protocol != WidebandProtocol::Automatic) continue;
        const int first = reader.parser()->baud();
        for (now = 0; now < 20000 && reader.parser()->baud() == first; now += 55) reader.poll();
        ASSERT_NE(reader.parser()->baud(), first) << "Automatic never tried another rate";
        t = pty.settings();
        EXPECT_EQ(cfgetospeed(&t), speedOf(reader.parser()->baud()));
    }

    test::TestDir dir;
    WidebandReader missing([&] { return now; });
    EXPECT_EQ(missing.open(dir.file("ttyUSB9"), WidebandProtocol::AemText), OpenResult::Failed);
    const OpenFailure f = missing.openFailure({});
    EXPECT_EQ(f.error, ENOENT);
    EXPECT_EQ(openFailureLine(f, 1),
              openFailureLine(describeOpenFailure(dir.file("ttyUSB9"), ENOENT, "", {}), 1));
}

// The controller unplugged and plugged in again: the samples of the gap carry no lambda, even
// right after the last reading, and once the device is back it is reopened and read again.
TEST(WidebandReader, AnUnpluggedControllerGivesNoLambdaAndIsReopenedWhenBack) {
    std::uint64_t now = 1000;
    SwitchableLine line;
    line.on();
    WidebandReader reader([&] { return now; });
    reader.aliasOf() = [](const std::string&) { return std::string(); };
    ASSERT_EQ(reader.open(line.link, WidebandProtocol::NumberPerLine), OpenResult::Opened);
    std::vector<WidebandReading> readings;
    const Subscription r =
        reader.readings().subscribe([&](const WidebandReading& x) { readings.push_back(x); });
    line.pty->send(text("1.01\n1.02\n"));
    ASSERT_TRUE(pumpUntil([&] { return readings.size() == 1; }));
    EngineSample s = sampleAt(1050);
    reader.join(s);
    ASSERT_TRUE(s.widebandLambda.has_value());

    line.off();
    now = 1100;
    s = sampleAt(1100);
    reader.join(s);
    EXPECT_FALSE(s.widebandLambda.has_value());
    EXPECT_FALSE(s.widebandConnected);
    EXPECT_EQ(reader.poll(), Reconnector::Event::Lost);
    EXPECT_FALSE(reader.isOpen());

    for (now = 1200; now < 3000; now += 100) {
        EXPECT_EQ(reader.poll(), Reconnector::Event::None);
        s = sampleAt(now);
        reader.join(s);
        EXPECT_FALSE(s.widebandLambda.has_value()) << now;
    }
    line.on();
    Reconnector::Event e = Reconnector::Event::None;
    for (; now < 3000 + 2 * Reconnector::RetryMs && e == Reconnector::Event::None; now += 100)
        e = reader.poll();
    ASSERT_EQ(e, Reconnector::Event::Reconnected);
    EXPECT_TRUE(reader.isOpen());
    s = sampleAt(now);
    reader.join(s);
    EXPECT_TRUE(s.widebandConnected);
    EXPECT_EQ(s.widebandState, WidebandState::NoReading);

    const std::uint64_t back = now;
    line.pty->send(text("0.90\n0.91\n"));
    ASSERT_TRUE(pumpUntil([&] { return readings.size() == 2; }));
    EXPECT_EQ(readings[1].timeMs, back);
    s = sampleAt(back + 10);
    reader.join(s);
    ASSERT_TRUE(s.widebandLambda.has_value());
    EXPECT_NEAR(*s.widebandLambda, 0.91, 1e-9);
}
