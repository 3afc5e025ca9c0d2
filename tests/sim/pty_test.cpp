// The tuner's link against the simulated unit over a real pseudo-terminal.
#include "harness.h"

#include "model/clamp.h"
#include "model/defaults.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace velmora::simtest {
namespace {

using std::chrono::milliseconds;

TEST(SimPty, ReadWithVerifyEndsVerifyOkWithTheUnitsImage) {
    SimProcess sim({"--log", "{dir}/log.txt", "--monitor", "100", "--name", "ABC", "--number", "7",
                    "--date", "05.02.2002", "--time", "16:21"});
    ASSERT_TRUE(sim.started());
    Host host;
    host.cal = defaultCalibration(2); // the window starts from another model
    ASSERT_TRUE(host.open(sim.linkPath()));

    // Monitor frames flow before the read and hide "No Connection".
    host.runTicks(10);
    EXPECT_FALSE(host.link.exchange().view().noConnectionVisible);
    EXPECT_TRUE(host.link.monitor().view().line(MonitorLabel::Rpm).text.has_value());

    host.link.exchange().startRead();
    EXPECT_GT(host.runExchange(), 0);
    EXPECT_EQ(host.message(), "Verify OK");
    EXPECT_EQ(host.ident.program, "ABC07");
    EXPECT_EQ(host.ident.date, " 5. 2.2002");
    EXPECT_EQ(host.ident.time, "16:21");
    Calibration expected = defaultCalibration(2);
    Image unitImage{};
    pack(defaultCalibration(6), unitImage);
    Identification ignored;
    unpack(unitImage, expected, ignored);
    clamp(expected);
    EXPECT_EQ(host.cal, expected);

    ASSERT_EQ(sim.stop(), 0);
    struct stat st {};
    EXPECT_NE(lstat(sim.linkPath().c_str(), &st), 0) << "the link is removed at exit";
    // The unit's image is what it sent; its log holds every block it was asked for.
    const auto log = readLog(sim.file("log.txt"));
    Image sent{};
    for (const auto& e : log) {
        if (e.direction == "TX" && e.bytes.size() == FrameSize && (e.bytes[0] & 0xF0) == 0xC0 &&
            (e.bytes[0] & 0x0F) < BlockCount)
            std::copy(e.bytes.begin() + 1, e.bytes.begin() + 21,
                      sent.begin() + (e.bytes[0] & 0x0F) * BlockSize);
    }
    EXPECT_EQ(host.image, sent);
    for (std::uint8_t k = 0; k < BlockCount; ++k)
        EXPECT_EQ(countFrames(log, "RX", ReadCommand + k), k == 0 ? 1 : 2) << int(k);
}

TEST(SimPty, ProgramThenReadBackGivesTheSameCalibration) {
    SimProcess sim({"--save-image", "{dir}/image.bin", "--monitor", "0"});
    ASSERT_TRUE(sim.started());
    Host host;
    host.cal = defaultCalibration(11);
    host.cal[at(Advance1, 3)] = 21;
    host.cal[jetCell(4, 7)] = 177;
    host.cal[at(NAP_PRIV_0, 9)] = 99;
    host.cal[AktN2o] = 1;
    ASSERT_TRUE(host.open(sim.linkPath()));
    host.startProgram();
    EXPECT_GT(host.runExchange(), 0);
    EXPECT_EQ(host.message(), "Program device OK");
    const Calibration programmed = host.cal;
    EXPECT_EQ(host.ident.program, "VLM52") << "block 0 of a program brings the unit's own";

    Image saved{};
    ASSERT_TRUE(readImageFile(sim.file("image.bin"), saved)) << "saved after programming";
    EXPECT_EQ(saved, host.image);

    host.cal = defaultCalibration(0);
    host.link.exchange().startRead();
    EXPECT_GT(host.runExchange(), 0);
    EXPECT_EQ(host.message(), "Verify OK");
    Calibration expected = programmed;
    unpack(saved, expected, host.ident); // flags come back as their bit values
    clamp(expected);
    EXPECT_EQ(host.cal, expected);
    EXPECT_NE(host.cal[AktN2o], 0);
}

// Starts a unit with `args`, runs a read or a program against it to its end and checks that it
// ends in the red `message` with the working values as they were; the ticks and the unit's log.
std::pair<int, std::vector<LogEntry>> failedExchange(std::vector<std::string> args, bool program,
                                                     const char* message) {
    args.insert(args.end(), {"--log", "{dir}/log.txt", "--monitor", "0"});
    SimProcess sim(args);
    Host host;
    const Calibration before = host.cal;
    EXPECT_TRUE(sim.started() && host.open(sim.linkPath()));
    program ? host.startProgram() : host.link.exchange().startRead();
    const int ticks = host.runExchange();
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(host.message(), message);
    EXPECT_EQ(host.messageColour(), Colour::Red);
    EXPECT_TRUE(sameSettings(host.cal, before)); // switches may come back as their bits
    EXPECT_EQ(sim.stop(), 0);
    return {ticks, readLog(sim.file("log.txt"))};
}

TEST(SimPty, WrongEchoInBlockFiveStopsTheProgramming) {
    const auto log = failedExchange({"--wrong-echo", "5"}, true, "Program error!").second;
    for (std::uint8_t k = 0; k < BlockCount; ++k)
        EXPECT_EQ(countFrames(log, "RX", k), k < 5 ? 1 : k == 5 ? 5 : 0) << int(k);
}

TEST(SimPty, UnitOfAnotherFormatVersionIsRefusedOnReadAndProgram) {
    const auto read = failedExchange({"--format-version", "4"}, false, "Unmatched version!");
    EXPECT_EQ(countFrames(read.second, "RX", 0x41), 0);
    const auto program = failedExchange({"--format-version", "4"}, true, "Unmatched version!");
    EXPECT_EQ(countFrames(program.second, "RX", 0x01), 0);
}

TEST(SimPty, UnitThatNeverAnswersEndsInReadErrorAfterFiveTransmissions) {
    const auto [ticks, log] = failedExchange({"--drop", "1"}, false, "Read error!");
    EXPECT_EQ(ticks, 20) << "five transmissions, four ticks each";
    EXPECT_EQ(countFrames(log, "RX", ReadCommand), 5);
    EXPECT_EQ(countFrames(log, "DROP", 0xC0), 5);
}

TEST(SimPty, ReadProtectedUnitShowsItsIdentificationAndStillTakesAProgram) {
    SimProcess sim({"--read-enable", "0", "--name", "XYZ", "--monitor", "0"});
    ASSERT_TRUE(sim.started());
    Host host;
    host.cal = defaultCalibration(3);
    const Calibration before = host.cal;
    ASSERT_TRUE(host.open(sim.linkPath()));
    host.link.exchange().startRead();
    EXPECT_GT(host.runExchange(), 0);
    EXPECT_EQ(host.message(), "No Reading!");
    EXPECT_EQ(host.messageColour(), Colour::Red);
    EXPECT_EQ(host.cal, before);
    EXPECT_EQ(host.ident.program, "XYZ52");

    host.startProgram();
    EXPECT_GT(host.runExchange(), 0);
    EXPECT_EQ(host.message(), "Program device OK");
}

TEST(SimPty, ExchangesRecoverFromDroppedDamagedAndLateReplies) {
    SimProcess sim({"--drop", "0.15", "--corrupt", "0.004", "--seed", "11", "--monitor", "0",
                    "--log", "{dir}/log.txt"});
    ASSERT_TRUE(sim.started());
    Host host;
    ASSERT_TRUE(host.open(sim.linkPath()));
    host.link.exchange().startRead();
    const int ticks = host.runExchange();
    EXPECT_EQ(host.message(), "Verify OK");
    EXPECT_GT(ticks, 23);
    EXPECT_EQ(sim.stop(), 0);
    const auto log = readLog(sim.file("log.txt"));
    int dropped = 0, damaged = 0;
    for (const auto& e : log) {
        dropped += e.direction == "DROP";
        damaged += e.note.find("corrupted") != std::string::npos;
    }
    EXPECT_GT(dropped, 0);
    EXPECT_GT(damaged, 0);

    SimProcess late({"--late", "90", "--monitor", "0"});
    ASSERT_TRUE(late.started());
    Host host2;
    ASSERT_TRUE(host2.open(late.linkPath()));
    host2.link.exchange().startRead();
    EXPECT_GT(host2.runExchange(), 23);
    EXPECT_EQ(host2.message(), "Verify OK");
}

// While the host waits to re-send, monitor frames come in the middle of the exchange; they
// are kept apart from the replies and never cost one.
TEST(SimPty, MonitorFramesDuringAnExchangeDoNotBreakIt) {
    SimProcess sim({"--monitor", "40", "--monitor-in-exchange", "--drop", "0.3", "--seed", "5",
                    "--baud", "0", "--log", "{dir}/log.txt"});
    ASSERT_TRUE(sim.started());
    Host host;
    ASSERT_TRUE(host.open(sim.linkPath()));
    host.link.exchange().startRead();
    EXPECT_GT(host.runExchange(), 23);
    EXPECT_EQ(host.message(), "Verify OK");
    EXPECT_EQ(sim.stop(), 0);
    const auto log = readLog(sim.file("log.txt"));
    double first = -1, last = -1;
    for (const auto& e : log) {
        if (e.direction != "RX") continue;
        if (first < 0) first = e.time;
        last = e.time;
    }
    int between = 0;
    for (const auto& e : log)
        between += e.time > first && e.time < last && e.note.find("monitor") != std::string::npos;
    EXPECT_GT(between, 0);
}

// What the simulated controller sent in `seconds` on its line: the bytes, read raw.
std::string readController(const std::string& path, double seconds, bool* hungUp = nullptr) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    std::string got;
    if (fd < 0) return got;
    const auto end = std::chrono::steady_clock::now() + milliseconds(int(seconds * 1000));
    while (std::chrono::steady_clock::now() < end) {
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
            if (hungUp != nullptr) *hungUp = true;
            break;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    close(fd);
    return got;
}

struct ControllerReading {
    bool warmingUp = false;
    double lambda = 0; // 0: a status without lambda
};

// Readings by the controllers' documented layouts: MTS header 0xB2 0x82 and a lambda word of
// 13 bits (lambda x 1000 - 500), the warm-up function 4; the PLM's 0x80 0x81 0x82 header, lambda
// x 1000 and a 16-bit sum; text lines of AFR or lambda, "WARM UP" while warming.
std::vector<ControllerReading> readingsOf(const std::string& protocol, const std::string& bytes) {
    std::vector<ControllerReading> out;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    if (protocol == "mts") {
        for (std::size_t i = 0; i + 6 <= bytes.size(); i += 6) {
            EXPECT_EQ(byte(i), 0xB2);
            EXPECT_EQ(byte(i + 1), 0x82);
            const int function = (byte(i + 2) >> 2) & 7;
            const int value = (byte(i + 4) & 0x3F) << 7 | (byte(i + 5) & 0x7F);
            out.push_back({function == 4, function == 0 ? value / 1000.0 + 0.5 : 0.0});
        }
    } else if (protocol == "plm") {
        for (std::size_t i = 0; i + 14 <= bytes.size(); i += 14) {
            EXPECT_EQ(bytes.substr(i, 4), std::string("\x80\x81\x82\x08"));
            unsigned sum = 0;
            for (std::size_t k = i; k < i + 12; ++k) sum += byte(k);
            EXPECT_EQ(sum, unsigned(byte(i + 12) << 8 | byte(i + 13)));
            out.push_back({byte(i + 6) == 1, (byte(i + 4) << 8 | byte(i + 5)) / 1000.0});
        }
    } else {
        std::size_t start = 0;
        for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos;
             start = end + 1) {
            std::string line = bytes.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const double number = line == "WARM UP" ? 0.0 : std::stod(line);
            out.push_back({line == "WARM UP", protocol == "aem" ? number / 14.7 : number});
        }
    }
    return out;
}

// Each controller sends at its rate, warm-up status first, then the engine's lambda (1 when
// the map meets the engine's need); an unplugged controller vanishes and comes back at its path.
TEST(SimPty, WidebandControllerSendsItsProtocolAtItsRate) {
    struct Case {
        const char* protocol;
        const char* units;
        double perSecond;
    } cases[] = {{"mts", "--wb-afr", 1000 / 81.92},
                 {"plm", "--wb-afr", 20},
                 {"aem", "--wb-afr", 10},
                 {"line", "--wb-lambda", 10}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.protocol);
        SimProcess sim({"--monitor", "0", "--wideband", "{dir}/wb", "--wb-protocol", k.protocol,
                        k.units, "--wb-warmup", "1.5", "--speed", "4", "--hold-rpm", "3000",
                        "--hold-throttle", "20", "--water", "90"});
        ASSERT_TRUE(sim.started());
        const std::string wb = sim.file("wb");
        struct stat st {};
        for (int i = 0; i < 200 && lstat(wb.c_str(), &st) != 0; ++i)
            std::this_thread::sleep_for(milliseconds(5));
        const std::vector<ControllerReading> got = readingsOf(k.protocol, readController(wb, 1.5));
        EXPECT_NEAR(got.size(), 1.5 * k.perSecond, 2.0);
        ASSERT_GE(got.size(), 6u);
        EXPECT_TRUE(got.front().warmingUp);
        EXPECT_FALSE(got.back().warmingUp);
        EXPECT_NEAR(got.back().lambda, 1.0, 0.03);
        if (std::string(k.protocol) != "mts") continue;

        // Unplugged while open: the client's line hangs up and the path goes; it comes back
        // within about 2 s and sends again.
        bool hungUp = false;
        std::thread unplug([&] {
            std::this_thread::sleep_for(milliseconds(300));
            sim.signal(SIGUSR1);
        });
        readController(wb, 1.0, &hungUp);
        unplug.join();
        EXPECT_TRUE(hungUp);
        EXPECT_NE(lstat(wb.c_str(), &st), 0);
        for (int i = 0; i < 300 && lstat(wb.c_str(), &st) != 0; ++i)
            std::this_thread::sleep_for(milliseconds(10));
        EXPECT_GE(readingsOf(k.protocol, readController(wb, 0.5)).size(), 4u);
    }
}

TEST(SimPty, ClientMayCloseAndReopenTheLine) {
    SimProcess sim({"--monitor", "50", "--baud", "0"});
    ASSERT_TRUE(sim.started());
    {
        Host host;
        ASSERT_TRUE(host.open(sim.linkPath()));
        host.runTicks(3);
        // Frames pile up unread before this client goes away.
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_GE(host.port.bytesWaiting(), 2 * FrameSize);
    }
    std::this_thread::sleep_for(milliseconds(100));
    Host host;
    ASSERT_TRUE(host.open(sim.linkPath()));
    EXPECT_EQ(host.port.bytesWaiting(), 0u) << "nothing left over from the last client";
    host.runTicks(4);
    EXPECT_FALSE(host.link.exchange().view().noConnectionVisible);
    host.link.exchange().startRead();
    EXPECT_GT(host.runExchange(), 0);
    EXPECT_EQ(host.message(), "Verify OK");
}

// Noise, a partial frame and a frame glued to garbage: the unit drops what does not check,
// picks up the next request after a pause, and never spins while it waits.
TEST(SimPty, ResynchronisesAfterNoiseWithoutBusyWaiting) {
    SimProcess sim({"--monitor", "100", "--log", "{dir}/log.txt"});
    ASSERT_TRUE(sim.started());
    const double idleStart = sim.cpuSeconds();
    std::this_thread::sleep_for(milliseconds(500)); // nobody on the line
    Host host;
    ASSERT_TRUE(host.open(sim.linkPath()));
    host.runTicks(4);
    const std::uint8_t noise[7] = {0x13, 0x40, 0xFF, 0x00, 0x55, 0xC0, 0x7E};
    const Frame request = makeFrame(ReadCommand + 2);
    std::vector<std::uint8_t> glued(noise, noise + 3);
    glued.insert(glued.end(), request.begin(), request.end());
    const int fd = static_cast<int>(::open(sim.linkPath().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, noise, sizeof noise), 7);
    host.runTicks(10); // the fragment lies there; monitor frames go on all the same
    ASSERT_EQ(write(fd, glued.data(), glued.size()), static_cast<ssize_t>(glued.size()));
    host.runTicks(4);
    ASSERT_EQ(write(fd, request.data(), request.size()), 22);
    host.runTicks(4);
    ::close(fd);
    const double used = sim.cpuSeconds() - idleStart;
    EXPECT_FALSE(host.link.exchange().view().noConnectionVisible);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_LT(used, 0.3) << "seconds of processor time in about 2 s of waiting";

    const auto log = readLog(sim.file("log.txt"));
    int fragments = 0, badChecks = 0, monitorsAfterNoise = 0;
    bool noiseSeen = false;
    for (const auto& e : log) {
        fragments += e.note == "fragment";
        badChecks += e.note == "bad check byte";
        noiseSeen = noiseSeen || e.note == "fragment";
        monitorsAfterNoise += noiseSeen && e.note == "monitor";
    }
    EXPECT_GE(fragments, 1);
    EXPECT_EQ(badChecks, 1);
    EXPECT_EQ(countFrames(log, "RX", ReadCommand + 2), 1) << "the clean request is taken";
    EXPECT_EQ(countFrames(log, "TX", 0xC2), 1);
    EXPECT_GT(monitorsAfterNoise, 2);
}

// A bare pseudo-terminal that nobody answers: the exact request bytes reach the line, and
// the port takes nothing below a frame's worth and drops what follows the first frame.
class BarePty : public ::testing::Test {
protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        ASSERT_TRUE(host.open(ptsname(master)));
    }
    void TearDown() override {
        host.port.close();
        if (master >= 0) close(master);
    }
    std::vector<std::uint8_t> drain() {
        std::this_thread::sleep_for(milliseconds(20));
        std::vector<std::uint8_t> bytes;
        std::uint8_t buf[256];
        for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;)
            bytes.insert(bytes.end(), buf, buf + n);
        return bytes;
    }
    void put(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        std::this_thread::sleep_for(milliseconds(20));
    }
    int master = -1;
    Host host;
};

TEST_F(BarePty, FirstRequestsAreExactAndSilenceEndsInReadError) {
    host.link.exchange().startRead();
    std::vector<std::uint8_t> read0(22, 0x00);
    read0[0] = 0x40;
    read0[21] = 0xBF;
    EXPECT_EQ(drain(), read0);
    EXPECT_EQ(host.runExchange(), 20);
    EXPECT_EQ(host.message(), "Read error!");
    const auto resent = drain();
    ASSERT_EQ(resent.size(), 4u * 22u);
    for (std::size_t i = 0; i < resent.size(); ++i) EXPECT_EQ(resent[i], read0[i % 22]);

    host.link.exchange().startProgram(); // the image is still all zero
    std::vector<std::uint8_t> program0(22, 0x00);
    program0[21] = 0xFF;
    EXPECT_EQ(drain(), program0);
}

} // namespace
} // namespace velmora::simtest

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
