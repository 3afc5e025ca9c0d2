#include "link/serial_port.h"

#include <QSerialPort>
#include <QString>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Errors that mean the device itself is gone, not a passing condition of the line.
bool deviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// Qt folds the system's reasons into a few classes; errno right after the failed call still
// tells a denied permission from a device another program holds or has locked.
int openErrno(QSerialPort::SerialPortError error, int savedErrno) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return ENOENT;
    case QSerialPort::PermissionError:
        return savedErrno == EACCES || savedErrno == EPERM ? EACCES : EBUSY;
    default:
        return savedErrno != 0 ? savedErrno : EIO;
    }
}

// Nobody else may open the device while we hold it, and the adapter should hand over each
// byte at once instead of batching them for its latency timer; drivers that cannot do the
// latter simply refuse, which is fine.
void tuneDescriptor(int fd) {
    ::ioctl(fd, TIOCEXCL);
    serial_struct ss{};
    if (::ioctl(fd, TIOCGSERIAL, &ss) == 0 && (ss.flags & ASYNC_LOW_LATENCY) == 0) {
        ss.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &ss);
    }
}

} // namespace

bool terminalAlias(dev_t device) {
    // /dev/tty, /dev/console and /dev/ptmx stand for another terminal, never for a line.
    return major(device) == 5 && minor(device) <= 2;
}

int unusableDevice(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (S_ISCHR(st.st_mode) && terminalAlias(st.st_rdev)) return ENOTTY;
    return 0;
}

PortMap defaultPortMap() {
    return {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3", "/dev/ttyS4", "/dev/ttyS5"};
}

// QSerialPort opens, locks, configures and on close restores the device. Reads and writes go
// to the descriptor directly so that the count of waiting bytes is the driver's, whether or
// not an event loop runs; bytes Qt's own read notifier has already taken come first.
struct SerialPort::Impl {
    QSerialPort port;
    std::string path;
    bool lost = false;
    bool wanted = false; // opened by us and not yet closed by us
    int openError = 0;
    std::string openErrorText;
    unsigned generation = 0;
    int baud = 9600;

    int fd() const { return port.isOpen() ? static_cast<int>(port.handle()) : -1; }

    void markLost() {
        lost = true;
        wanted = false;
        port.close();
    }

    // A hung-up or failed device is closed at once, so that nothing polls it in a busy loop.
    bool checkAlive() {
        if (!port.isOpen()) {
            if (wanted) markLost(); // Qt closed it on a resource error
            return false;
        }
        if (port.error() == QSerialPort::ResourceError) {
            markLost();
            return false;
        }
        pollfd p{fd(), POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            markLost();
            return false;
        }
        return true;
    }
};

SerialPort::SerialPort() : d_(std::make_unique<Impl>()) {
    QObject::connect(&d_->port, &QSerialPort::readyRead, [this] {
        if (onReadable) onReadable();
    });
}

SerialPort::~SerialPort() {
    close();
}

OpenResult SerialPort::open(std::uint8_t comPort, const PortMap& map) {
    close();
    if (comPort < 1 || comPort > map.size()) return OpenResult::NoPort;
    return openPath(map[comPort - 1u]);
}

OpenResult SerialPort::openPath(const std::string& path) {
    close();
    ++d_->generation;
    d_->path = path;
    d_->lost = false;
    d_->openError = 0;
    d_->openErrorText.clear();
    const auto fail = [this](int error, const QString& text) {
        d_->openError = error;
        d_->openErrorText = text.toStdString();
        return OpenResult::Failed;
    };
    if (path.empty()) return fail(ENOENT, QString::fromLocal8Bit(std::strerror(ENOENT)));
    // The toolkit folds a name too long, a missing folder or a terminal alias into "busy" or
    // "not found"; the system's own answer names the real reason.
    if (const int error = unusableDevice(path))
        return fail(error, QString::fromLocal8Bit(std::strerror(error)));
    QSerialPort& p = d_->port;
    p.setPortName(QString::fromStdString(path));
    p.clearError();
    errno = 0;
    if (!p.open(QIODevice::ReadWrite)) {
        const int saved = errno;
        return fail(openErrno(p.error(), saved), p.errorString());
    }
    const bool configured = p.setBaudRate(d_->baud) && p.setDataBits(QSerialPort::Data8) &&
                            p.setParity(QSerialPort::NoParity) &&
                            p.setStopBits(QSerialPort::OneStop) &&
                            p.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        const QString text = p.errorString();
        p.close();
        return fail(EIO, text);
    }
    tuneDescriptor(d_->fd());
    // Qt's notifier buffers at most this much; a flood beyond it waits in the driver, where
    // each poll drains it, instead of growing our memory.
    p.setReadBufferSize(4096);
    d_->wanted = true;
    return OpenResult::Opened;
}

void SerialPort::close() {
    ++d_->generation;
    d_->wanted = false;
    if (d_->port.isOpen()) d_->port.close();
}

bool SerialPort::setBaudRate(int baud) {
    d_->baud = baud;
    return !d_->port.isOpen() || d_->port.setBaudRate(baud);
}

int SerialPort::baudRate() const {
    return d_->baud;
}

bool SerialPort::isOpen() const {
    return d_->port.isOpen();
}

const std::string& SerialPort::path() const {
    return d_->path;
}

bool SerialPort::lost() const {
    return d_->lost;
}

int SerialPort::openError() const {
    return d_->openError;
}

const std::string& SerialPort::openErrorText() const {
    return d_->openErrorText;
}

unsigned SerialPort::generation() const {
    return d_->generation;
}

std::size_t SerialPort::bytesWaiting() {
    if (!d_->checkAlive()) return 0;
    int queued = 0;
    if (::ioctl(d_->fd(), FIONREAD, &queued) != 0 || queued < 0) queued = 0;
    return static_cast<std::size_t>(d_->port.bytesAvailable()) + static_cast<std::size_t>(queued);
}

std::size_t SerialPort::read(std::uint8_t* dst, std::size_t max) {
    if (!d_->checkAlive() || max == 0) return 0;
    std::size_t got = 0;
    const qint64 buffered = d_->port.bytesAvailable();
    if (buffered > 0) {
        const qint64 n = d_->port.read(reinterpret_cast<char*>(dst),
                                       std::min<qint64>(buffered, static_cast<qint64>(max)));
        if (n > 0) got = static_cast<std::size_t>(n);
    }
    while (got < max) {
        const ssize_t n = ::read(d_->fd(), dst + got, max - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && deviceGone(errno)) d_->markLost();
            break;
        }
    }
    return got;
}

bool SerialPort::waitReadable(int ms) {
    if (!d_->checkAlive()) return false;
    pollfd p{d_->fd(), POLLIN, 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & POLLIN) != 0;
}

void SerialPort::writeFrame(const Frame& frame) {
    if (!d_->checkAlive()) return;
    const int fd = d_->fd();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(DrainLimitMs);
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::write(fd, frame.data() + sent, frame.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The output queue is full (flow control, a stalled adapter): wait, but not for good.
            const int left = millisecondsLeft(deadline);
            if (left == 0) return;
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, left);
            continue;
        }
        if (n < 0 && deviceGone(errno)) d_->markLost();
        return;
    }
    // Wait until the driver has sent the frame; a line that does not drain is given up on
    // after the bound and the re-send rule takes over.
    while (true) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
        if (millisecondsLeft(deadline) == 0) return;
        ::usleep(1000);
    }
}

} // namespace velmora
