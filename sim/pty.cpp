#include "sim/pty.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace velmora::sim {

namespace {

speed_t speedOf(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

} // namespace

bool Pty::open(const std::string& linkPath, int baud) {
    close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        std::perror("velmora52-sim: pseudo-terminal");
        close();
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        close();
        return false;
    }
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    // Open the slave once to make it raw before any client comes; after this close the master
    // reports a hang-up whenever no client holds the slave open.
    int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::perror("velmora52-sim: open slave");
        close();
        return false;
    }
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, speedOf(baud));
        cfsetospeed(&t, speedOf(baud));
        t.c_cflag |= CLOCAL | CREAD;
        tcsetattr(slave, TCSANOW, &t);
    }
    ::close(slave);

    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0) {
        // Only a link left behind by an earlier run is replaced, never a real file.
        char target[256] = {};
        ssize_t n =
            S_ISLNK(st.st_mode) ? readlink(linkPath.c_str(), target, sizeof target - 1) : -1;
        if (n < 0 || std::strncmp(target, "/dev/pts/", 9) != 0) {
            std::fprintf(stderr, "velmora52-sim: %s exists and is not a terminal link\n",
                         linkPath.c_str());
            close();
            return false;
        }
        unlink(linkPath.c_str());
    }
    if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
        std::fprintf(stderr, "velmora52-sim: cannot create %s: %s\n", linkPath.c_str(),
                     std::strerror(errno));
        close();
        return false;
    }
    linkPath_ = linkPath;
    return true;
}

void Pty::close() {
    if (!linkPath_.empty()) {
        char target[256] = {};
        ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n > 0 && slavePath_ == target) unlink(linkPath_.c_str());
        linkPath_.clear();
    }
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool Pty::clientPresent(bool fallback) const {
    if (master_ < 0) return false;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) return fallback;
    return (p.revents & POLLHUP) == 0;
}

void Pty::flush() {
    if (master_ < 0) return;
    tcflush(master_, TCIOFLUSH);
    // Bytes still in the slave's input queue are only flushed from the slave side.
    int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        tcflush(slave, TCIOFLUSH);
        ::close(slave);
    }
}

} // namespace velmora::sim
