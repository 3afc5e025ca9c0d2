// A pseudo-terminal standing in for the line in the serial port tests; the test plays the
// unit on its master side.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "test_dir.h"

namespace velmora {

class Pty {
public:
    int master = -1;
    std::string slavePath;

    Pty() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        slavePath = name;
        termios t{};
        ::tcgetattr(slave, &t);
        cfsetispeed(&t, B38400);
        cfsetospeed(&t, B38400);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { hangUp(); }
    void hangUp() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    termios settings() const {
        termios t{};
        ::tcgetattr(master, &t); // a pty master reports its slave's settings
        return t;
    }
    void send(const std::vector<std::uint8_t>& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        ::usleep(2000);
    }
    std::vector<std::uint8_t> receive() const {
        std::vector<std::uint8_t> out(4096);
        const ssize_t n = ::read(master, out.data(), out.size());
        out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return out;
    }
};

// A line as the simulator offers it: a link name that points at a pty, gone when the device is
// switched off or unplugged and pointing at a new pty when it is back.
struct SwitchableLine {
    test::TestDir dir;
    std::unique_ptr<Pty> pty;
    std::string link = dir.file("unit");
    void on() {
        pty = std::make_unique<Pty>();
        ::unlink(link.c_str());
        ASSERT_EQ(::symlink(pty->slavePath.c_str(), link.c_str()), 0);
    }
    void off() {
        ::unlink(link.c_str());
        pty.reset();
    }
};

} // namespace velmora
