#include "link/framer.h"
#include "link/serial_port.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "test_pty.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace velmora;

namespace {

Frame awkwardFrame(std::uint8_t command) {
    // Line feed, carriage return, XON, XOFF and 0xFF must all pass untouched.
    const std::uint8_t data[20] = {0x0A, 0x0D, 0x11, 0x13, 0xFF, 0x00, 0x7F, 0x03, 0x04, 0x1A,
                                   0x1C, 0x08, 0x15, 0x17, 0x12, 0x16, 0x0F, 0x80, 0x8A, 0x55};
    return makeFrame(command, data);
}

} // namespace

TEST(SerialPort, OpensExclusivelyAt9600RawAndRestoresOnClose) {
    Pty pty;
    ASSERT_FALSE(pty.slavePath.empty());
    SerialPort port;
    ASSERT_EQ(port.openPath(pty.slavePath), OpenResult::Opened);
    const termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    // The device itself refuses further opens, not only the lock file.
    int exclusive = 0;
    const int slave = ::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) { // root may open it all the same, and then ask
        EXPECT_EQ(::ioctl(slave, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        ::close(slave);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }

    SerialPort second;
    EXPECT_EQ(second.openPath(pty.slavePath), OpenResult::Failed);
    EXPECT_EQ(second.openError(), EBUSY);

    port.close();
    const termios after = pty.settings();
    EXPECT_EQ(cfgetospeed(&after), speed_t(B38400));
    port.close(); // closing twice is harmless
    EXPECT_EQ(second.openPath(pty.slavePath), OpenResult::Opened);
}

TEST(SerialPort, ComNumbersGoThroughThePortMap) {
    Pty pty;
    PortMap map = defaultPortMap();
    EXPECT_EQ(map[0], "/dev/ttyS0");
    EXPECT_EQ(map[5], "/dev/ttyS5");
    map[1] = pty.slavePath;
    map[2] = "/dev/velmora-no-such-device";
    SerialPort port;
    EXPECT_EQ(port.open(0, map), OpenResult::NoPort);
    EXPECT_EQ(port.open(7, map), OpenResult::NoPort);
    EXPECT_EQ(port.open(3, map), OpenResult::Failed);
    EXPECT_EQ(port.openError(), ENOENT);
    EXPECT_FALSE(port.isOpen());
    EXPECT_STREQ(ComOpeningError, "Com opening error");
    EXPECT_EQ(port.open(2, map), OpenResult::Opened);
    EXPECT_EQ(port.path(), pty.slavePath);
    // Choosing the port in use again closes and reopens it.
    EXPECT_EQ(port.open(2, map), OpenResult::Opened);
    EXPECT_FALSE(port.bytesWaiting());
}

TEST(SerialPort, FramesCrossTheLineByteForByte) {
    Pty pty;
    SerialPort port;
    ASSERT_EQ(port.openPath(pty.slavePath), OpenResult::Opened);
    const Frame out = awkwardFrame(0x40);
    port.writeFrame(out);
    const std::vector<std::uint8_t> got = pty.receive();
    EXPECT_EQ(got, std::vector<std::uint8_t>(out.begin(), out.end()));

    const Frame in = awkwardFrame(0xC0);
    std::vector<std::uint8_t> bytes(in.begin(), in.end());
    bytes.insert(bytes.end(), {1, 2, 3, 4, 5, 6, 7, 8});
    Framer framer;
    pty.send(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 21));
    EXPECT_EQ(port.bytesWaiting(), 21u);
    receive(port, framer);
    EXPECT_FALSE(framer.next().has_value());
    // Bytes Qt's notifier took into its own buffer still count as waiting.
    pty.send(std::vector<std::uint8_t>(bytes.begin() + 21, bytes.end()));
    QCoreApplication::processEvents();
    EXPECT_EQ(port.bytesWaiting(), 9u);
    receive(port, framer);
    EXPECT_EQ(framer.next(), in);
    EXPECT_EQ(port.bytesWaiting(), 0u);
}

// Junk at the terminal's full speed while the window ticks and Qt's notifier reads: memory
// stays bounded, and the first frame after the junk is found at the next poll.
TEST(SerialPort, AFloodOfJunkLeavesMemoryBoundedAndTheLinkListening) {
    Pty pty;
    SerialPort port;
    ASSERT_EQ(port.openPath(pty.slavePath), OpenResult::Opened);
    const auto residentKb = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
        return 0L;
    };
    const long before = residentKb();
    std::vector<std::uint8_t> junk(65536);
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<std::uint8_t>(i * 7 % 251);
    Framer framer;
    std::size_t flooded = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    while (std::chrono::steady_clock::now() < end) {
        for (int i = 0; i < 64; ++i) {
            const ssize_t n = ::write(pty.master, junk.data(), junk.size());
            if (n > 0) flooded += static_cast<std::size_t>(n);
        }
        QCoreApplication::processEvents();
        receive(port, framer);
        while (framer.next()) {
        }
    }
    ASSERT_GT(flooded, 1u << 20);
    const Frame f = awkwardFrame(0xB2);
    std::vector<std::uint8_t> bytes(f.begin(), f.end());
    for (int tries = 0; tries < 200; ++tries) { // the rest of the junk drains first
        if (::write(pty.master, bytes.data(), bytes.size()) == ssize_t(bytes.size())) break;
        receive(port, framer);
        while (framer.next()) {
        }
    }
    ::usleep(2000);
    QCoreApplication::processEvents();
    receive(port, framer);
    framer.lineQuiet(); // nothing came after the frame
    std::optional<Frame> last;
    while (std::optional<Frame> g = framer.next()) last = g;
    EXPECT_EQ(last, f);
    EXPECT_LE(framer.held(), Framer::Capacity);
    EXPECT_LT(residentKb() - before, 20 * 1024) << flooded << " bytes of junk";
}

TEST(SerialPort, AVanishedLineEndsInSilenceNotInAHang) {
    Pty pty;
    SerialPort port;
    ASSERT_EQ(port.openPath(pty.slavePath), OpenResult::Opened);
    pty.hangUp();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i) {
        QCoreApplication::processEvents();
        EXPECT_EQ(port.bytesWaiting(), 0u);
        Framer framer;
        receive(port, framer);
        EXPECT_EQ(framer.held(), 0u);
        port.writeFrame(awkwardFrame(0x41));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(port.lost());
    EXPECT_FALSE(port.isOpen());

    Pty again;
    EXPECT_EQ(port.openPath(again.slavePath), OpenResult::Opened);
    EXPECT_FALSE(port.lost());
}

TEST(SerialPort, AWriteThatCannotDrainIsBounded) {
    Pty pty; // nobody reads the master: the line fills up and stays full
    SerialPort port;
    ASSERT_EQ(port.openPath(pty.slavePath), OpenResult::Opened);
    using namespace std::chrono;
    milliseconds longest{0};
    int stalled = 0;
    for (int i = 0; i < 20000 && stalled < 3; ++i) {
        const auto start = steady_clock::now();
        port.writeFrame(awkwardFrame(0x01));
        const auto took = duration_cast<milliseconds>(steady_clock::now() - start);
        if (took > longest) longest = took;
        if (took >= milliseconds(SerialPort::DrainLimitMs / 2)) ++stalled;
    }
    EXPECT_EQ(stalled, 3) << "the line never filled up";
    EXPECT_LT(longest, milliseconds(SerialPort::DrainLimitMs + 100));
    EXPECT_TRUE(port.isOpen());
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
