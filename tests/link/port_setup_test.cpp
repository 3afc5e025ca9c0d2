#include "link/port_setup.h"

#include <gtest/gtest.h>

#include "lang/port_texts.h"
#include "test_dir.h"
#include "test_pty.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace velmora;
using test::TestDir;
using test::writeFile;

namespace {

// A child process that sleeps, holding `fd` open when it is not -1.
struct Sleeper {
    pid_t pid = -1;
    explicit Sleeper(int fd = -1) {
        pid = ::fork();
        if (pid == 0) {
            if (fd >= 0) ::fcntl(fd, F_SETFD, 0);
            ::execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Until exec has happened the child still carries this program's name.
        for (int i = 0; i < 200; ++i) {
            std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
            std::string name;
            if (std::getline(comm, name) && name == "sleep") break;
            ::usleep(5000);
        }
    }
    ~Sleeper() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    std::string label() const { return "sleep (pid " + std::to_string(pid) + ")"; }
};

} // namespace

TEST(PortTexts, EveryTextExistsInEachLanguageWithTheSamePlaceholders) {
    for (int t = 0; t < static_cast<int>(lang::PortText::Count); ++t) {
        const auto text = static_cast<lang::PortText>(t);
        std::string placeholders[3];
        for (std::uint8_t language = 0; language < 3; ++language) {
            const std::string_view s = lang::portText(text, language);
            EXPECT_FALSE(s.empty()) << "text " << t << " language " << int(language);
            for (std::size_t i = 0; i + 1 < s.size(); ++i)
                if (s[i] == '%') placeholders[language] += s[i + 1];
        }
        std::sort(placeholders[0].begin(), placeholders[0].end());
        for (std::string& p : placeholders) std::sort(p.begin(), p.end());
        EXPECT_EQ(placeholders[0], placeholders[1]) << "text " << t;
        EXPECT_EQ(placeholders[0], placeholders[2]) << "text " << t;
    }
    EXPECT_EQ(lang::portText(lang::PortText::Lost, 1, {"COM1", "/dev/ttyUSB0"}),
              "COM1 (/dev/ttyUSB0) lost — waiting for it");
    EXPECT_EQ(lang::portText(lang::PortText::Lost, 9), lang::portText(lang::PortText::Lost, 1));
}

TEST(PortSetup, TypedPathsThatCannotBeAPortAreRefused) {
    TestDir dir;
    writeFile(dir.file("plain"), "x");
    Pty pty;
    ASSERT_EQ(::symlink(pty.slavePath.c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dir.file("dangling").c_str()), 0);
    const struct {
        std::string path;
        PathProblem expected;
    } cases[] = {
        {"", PathProblem::Empty},
        {std::string(10000, 'a'), PathProblem::TooLong},
        {"/dev/" + std::string(MaxDevicePathLength, 'x'), PathProblem::TooLong},
        {"/dev/ttyS0\n[FORM_HLAV]", PathProblem::ControlCharacter},
        {"/dev/tty\tS0", PathProblem::ControlCharacter},
        {std::string("/dev/tty\0S0", 11), PathProblem::ControlCharacter},
        {"dev/ttyS0", PathProblem::NotAbsolute},
        {dir.file("missing"), PathProblem::Missing},
        {dir.file("dangling"), PathProblem::Missing},
        {dir.path(), PathProblem::Directory},
        {dir.file("plain"), PathProblem::RegularFile},
        {"/dev/null", PathProblem::NotSerial},
        {"/dev/zero", PathProblem::NotSerial},
        // Names of another terminal, whichever one that is at the moment.
        {"/dev/tty", PathProblem::NotSerial},
        {"/dev/console", PathProblem::NotSerial},
        {"/dev/ptmx", PathProblem::NotSerial},
        {pty.slavePath, PathProblem::Ok},
        {dir.file("link"), PathProblem::Ok},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checkDevicePath(c.path), c.expected) << c.path.substr(0, 60);
}

TEST(PortSetup, UsbAdaptersAreStoredByTheirStableName) {
    TestDir byId;
    Pty adapter, other;
    const std::string stable = byId.file("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    ASSERT_EQ(::symlink(adapter.slavePath.c_str(), stable.c_str()), 0);
    ASSERT_EQ(::symlink(other.slavePath.c_str(), byId.file("usb-other").c_str()), 0);
    EXPECT_EQ(byIdName(adapter.slavePath, byId.path()), stable);
    EXPECT_EQ(byIdName(stable, byId.path()), stable);
    EXPECT_EQ(byIdName("/dev/velmora-gone", byId.path()), "");
    EXPECT_EQ(byIdName(adapter.slavePath, byId.file("absent")), "");

    SerialDevice usb{
        adapter.slavePath, "FT232R USB UART", "FTDI", "A50285BI", 0x0403, 0x6001, stable};
    SerialDevice onboard{"/dev/ttyS0", "", "", "", std::nullopt, std::nullopt, ""};
    SerialDevice usbWithoutName = usb;
    usbWithoutName.byId.clear();
    EXPECT_EQ(preferredPath(usb), stable);
    EXPECT_EQ(preferredPath(onboard), "/dev/ttyS0");
    EXPECT_EQ(preferredPath(usbWithoutName), adapter.slavePath);
    EXPECT_EQ(usb.usbId(), "0403:6001");
    EXPECT_EQ(onboard.usbId(), "");
    EXPECT_EQ(usb.label(), adapter.slavePath + " (FT232R USB UART)");
    const auto adapters = usbAdapters({onboard, usb, onboard});
    ASSERT_EQ(adapters.size(), 1u);
    EXPECT_EQ(adapters[0].path, adapter.slavePath);
}

// Each reason names the device and what to do, in every language.
TEST(PortSetup, OpenFailureLineNamesReasonAndRemedy) {
    OpenFailure base;
    base.device = "/dev/ttyUSB0";
    base.systemText = "Input/output error";
    const struct {
        int error;
        std::string holder, group, user;
        bool relogin;
        std::vector<std::string> adapters;
        std::vector<std::string> english; // pieces of the English line
        std::vector<std::string> everyLanguage;
    } cases[] = {
        {ENOENT,
         "",
         "",
         "",
         false,
         {"/dev/ttyACM0 (Arduino)"},
         {"does not exist", "Port settings"},
         {"/dev/ttyUSB0", "/dev/ttyACM0 (Arduino)"}},
        {ENOENT, "", "", "", false, {}, {"no serial device is connected"}, {"/dev/ttyUSB0"}},
        {ENODEV, "", "", "", false, {}, {"does not exist"}, {"/dev/ttyUSB0"}},
        {EACCES,
         "",
         "dialout",
         "bob",
         false,
         {},
         {"not in the group dialout", "log in again"},
         {"sudo usermod -aG dialout bob"}},
        {EACCES,
         "",
         "uucp",
         "eva",
         true,
         {},
         {"is in the group uucp", "Log out"},
         {"/dev/ttyUSB0", "uucp", "eva"}},
        {EACCES, "", "", "", false, {}, {"dialout"}, {"usermod -aG dialout"}},
        {EBUSY,
         "minicom (pid 4711)",
         "",
         "",
         false,
         {},
         {"in use by another program"},
         {"minicom (pid 4711)"}},
        {EBUSY, "", "", "", false, {}, {"in use by another program"}, {"/dev/ttyUSB0"}},
        {EIO, "", "", "", false, {}, {"could not be opened"}, {"Input/output error"}},
    };
    for (const auto& c : cases) {
        OpenFailure f = base;
        f.error = c.error;
        f.holder = c.holder;
        f.group = c.group;
        f.user = c.user;
        f.memberNotInSession = c.relogin;
        f.adapters = c.adapters;
        const std::string english = openFailureLine(f, 1);
        for (const std::string& piece : c.english)
            EXPECT_NE(english.find(piece), std::string::npos) << english;
        std::set<std::string> distinct;
        for (std::uint8_t language = 0; language < 3; ++language) {
            const std::string line = openFailureLine(f, language);
            distinct.insert(line);
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
            for (const std::string& piece : c.everyLanguage)
                EXPECT_NE(line.find(piece), std::string::npos) << line;
        }
        EXPECT_EQ(distinct.size(), 3u) << english;
    }
}

TEST(PortSetup, HolderComesFromALockFileOrFromProc) {
    Pty pty;
    TestDir locks;
    HolderPlaces places{{locks.path()}, "/proc"};
    EXPECT_EQ(deviceHolder(pty.slavePath, places), "");

    // A process that has the device open.
    const int fd = ::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    {
        Sleeper holder(fd);
        ::close(fd);
        EXPECT_EQ(deviceHolder(pty.slavePath, places), holder.label());
    }
    EXPECT_EQ(deviceHolder(pty.slavePath, places), "");

    // A UUCP lock file: /dev/pts/3 is locked as LCK..pts_3; a dead pid or this one is nobody.
    Sleeper locker;
    std::string name = pty.slavePath.substr(5);
    std::replace(name.begin(), name.end(), '/', '_');
    writeFile(locks.file("LCK.." + name), "     " + std::to_string(locker.pid) + "\nsleep\n");
    EXPECT_EQ(deviceHolder(pty.slavePath, places), locker.label());
    writeFile(locks.file("LCK.." + name), std::to_string(::getpid()) + "\n");
    EXPECT_EQ(deviceHolder(pty.slavePath, places), "");
    writeFile(locks.file("LCK.." + name), "garbage\n");
    EXPECT_EQ(deviceHolder(pty.slavePath, places), "");
}

// A device named in the settings is opened without the dialog's checks: each reason that is
// not "in use" must not be called so, and a terminal alias is not called missing.
TEST(PortSetup, OpenFailuresNameTheirOwnReason) {
    TestDir dir;
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {"/dev/" + std::string(10000, 'a'), ENAMETOOLONG},
        {dir.file("missing"), ENOENT},
        {dir.path(), EISDIR},
        {"/dev/tty", ENOTTY},
        {"/dev/ptmx", ENOTTY},
    };
    for (const auto& c : cases) {
        SerialPort port;
        EXPECT_EQ(port.openPath(c.path), OpenResult::Failed) << c.path.substr(0, 60);
        EXPECT_EQ(port.openError(), c.error) << c.path.substr(0, 60);
        const std::string line = openFailureLine(
            describeOpenFailure(port.path(), port.openError(), port.openErrorText(), {}), 1);
        EXPECT_EQ(line.find("in use"), std::string::npos) << line.substr(0, 100);
    }
}

TEST(PortSetup, ASecondOpenIsReportedAsInUse) {
    Pty pty;
    SerialPort first, second;
    ASSERT_EQ(first.openPath(pty.slavePath), OpenResult::Opened);
    ASSERT_EQ(second.openPath(pty.slavePath), OpenResult::Failed);
    const OpenFailure f =
        describeOpenFailure(second.path(), second.openError(), second.openErrorText(), {});
    EXPECT_EQ(f.holder, ""); // this process holds it, and is not "another program"
    EXPECT_NE(openFailureLine(f, 1).find("is in use by another program"), std::string::npos);
}

// A user outside the device's group is told the group and the command, whoever runs the test:
// root drops to nobody in a child process; anyone else meets a device with no rights at all.
TEST(PortSetup, DeniedAccessNamesTheGroupAndTheCommand) {
    Pty pty;
    const bool root = ::geteuid() == 0;
    const group* dialout = ::getgrnam("dialout");
    const passwd* nobody = ::getpwnam("nobody");
    if (root && (dialout == nullptr || nobody == nullptr)) GTEST_SKIP() << "no dialout or nobody";
    if (root) {
        ASSERT_EQ(::chown(pty.slavePath.c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(pty.slavePath.c_str(), 0660), 0);
    } else {
        ASSERT_EQ(::chmod(pty.slavePath.c_str(), 0), 0);
    }
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                     ::setuid(nobody->pw_uid) != 0))
            ::_exit(2);
        SerialPort port;
        if (port.openPath(pty.slavePath) != OpenResult::Failed) ::_exit(3);
        const OpenFailure f =
            describeOpenFailure(port.path(), port.openError(), port.openErrorText(), {});
        const std::string line = std::to_string(port.openError()) + " " + openFailureLine(f, 1);
        if (::write(out[1], line.data(), line.size()) < 0) ::_exit(4);
        ::_exit(0);
    }
    ::close(out[1]);
    std::string line;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) line.append(buf, std::size_t(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(line.substr(0, line.find(' ')), std::to_string(EACCES)) << line;
    EXPECT_NE(line.find("usermod -aG " + (root ? std::string("dialout nobody") : "")),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("log in again"), std::string::npos) << line;
}

namespace {

// What the window's 55 ms tick does to the port: poll it, which finds a vanished device.
void tick(SerialPort& port) {
    port.bytesWaiting();
}

} // namespace

TEST(Reconnector, ReopensTheSameDeviceOnceItIsBack) {
    SwitchableLine line;
    line.on();
    SerialPort port;
    Reconnector r(port);
    ASSERT_EQ(port.openPath(line.link), OpenResult::Opened);
    EXPECT_EQ(r.poll(0), Reconnector::Event::None);

    line.off();
    tick(port);
    EXPECT_TRUE(port.lost());
    EXPECT_EQ(r.poll(100), Reconnector::Event::Lost);
    EXPECT_TRUE(r.waiting());
    EXPECT_EQ(r.device(), line.link);
    for (std::int64_t t = 200; t <= 2000; t += 100) EXPECT_EQ(r.poll(t), Reconnector::Event::None);

    line.on();
    std::int64_t t = 2100;
    Reconnector::Event e = Reconnector::Event::None;
    for (; t <= 2100 + Reconnector::RetryMs && e == Reconnector::Event::None; t += 100)
        e = r.poll(t);
    EXPECT_EQ(e, Reconnector::Event::Reconnected);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.path(), line.link);
    EXPECT_FALSE(r.waiting());

    // Frames cross the reopened line.
    const std::uint8_t hello[3] = {1, 2, 3};
    ASSERT_EQ(::write(line.pty->master, hello, 3), 3);
    ::usleep(2000);
    EXPECT_EQ(port.bytesWaiting(), 3u);

    // And it survives a second loss just the same.
    line.off();
    tick(port);
    EXPECT_EQ(r.poll(t += 100), Reconnector::Event::Lost);
    line.on();
    EXPECT_EQ(r.poll(t += Reconnector::RetryMs), Reconnector::Event::Reconnected);
}

TEST(Reconnector, NeverTouchesAPortSomeoneElseChoseOrClosed) {
    SwitchableLine line, elsewhere;
    line.on();
    elsewhere.on();
    SerialPort port;
    Reconnector r(port);

    // Closed on purpose: nothing to wait for.
    ASSERT_EQ(port.openPath(line.link), OpenResult::Opened);
    r.poll(0);
    port.close();
    EXPECT_EQ(r.poll(100), Reconnector::Event::None);
    EXPECT_FALSE(r.waiting());

    // Lost, then the user picks another port: that one stays, the old one is not reopened.
    ASSERT_EQ(port.openPath(line.link), OpenResult::Opened);
    r.poll(200);
    line.off();
    tick(port);
    EXPECT_EQ(r.poll(300), Reconnector::Event::Lost);
    ASSERT_EQ(port.openPath(elsewhere.link), OpenResult::Opened);
    EXPECT_EQ(r.poll(400), Reconnector::Event::Abandoned);
    line.on();
    for (std::int64_t t = 500; t < 3000; t += 100) EXPECT_EQ(r.poll(t), Reconnector::Event::None);
    EXPECT_EQ(port.path(), elsewhere.link);

    // Lost, then the user's choice fails (the same port chosen again while it is away): the
    // failed choice is theirs, and the wait ends there too.
    elsewhere.off();
    tick(port);
    EXPECT_EQ(r.poll(3000), Reconnector::Event::Lost);
    EXPECT_EQ(port.openPath(elsewhere.link), OpenResult::Failed);
    EXPECT_EQ(r.poll(3100), Reconnector::Event::Abandoned);
    elsewhere.on();
    for (std::int64_t t = 3200; t < 5000; t += 100) EXPECT_EQ(r.poll(t), Reconnector::Event::None);
    EXPECT_FALSE(port.isOpen());

    // Lost, then closed (the window shuts down): never reopened.
    ASSERT_EQ(port.openPath(line.link), OpenResult::Opened);
    r.poll(5000);
    line.off();
    tick(port);
    EXPECT_EQ(r.poll(5100), Reconnector::Event::Lost);
    port.close();
    EXPECT_EQ(r.poll(5200), Reconnector::Event::Abandoned);
    line.on();
    for (std::int64_t t = 5300; t < 7000; t += 100) EXPECT_EQ(r.poll(t), Reconnector::Event::None);
    EXPECT_FALSE(port.isOpen());
}

// An adapter mapped by its kernel name comes back under another one (plugged into another
// socket): its stable name, taken while it was open, finds it.
TEST(Reconnector, FollowsTheStableNameToANewSocket) {
    TestDir byId;
    SwitchableLine line;
    line.on();
    const std::string stable = byId.file("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    ASSERT_EQ(::symlink(line.pty->slavePath.c_str(), stable.c_str()), 0);
    SerialPort port;
    Reconnector r(port);
    r.aliasOf = [&](const std::string& p) { return byIdName(p, byId.path()); };
    ASSERT_EQ(port.openPath(line.link), OpenResult::Opened);
    r.poll(0);

    line.off();
    ::unlink(stable.c_str());
    tick(port);
    EXPECT_EQ(r.poll(100), Reconnector::Event::Lost);
    EXPECT_EQ(r.alias(), stable);

    Pty otherSocket; // the old name stays away
    ASSERT_EQ(::symlink(otherSocket.slavePath.c_str(), stable.c_str()), 0);
    EXPECT_EQ(r.poll(100 + Reconnector::RetryMs), Reconnector::Event::Reconnected);
    EXPECT_EQ(port.path(), stable);
    EXPECT_TRUE(port.isOpen());
}
