#include "sim/server.h"

#include "sim/engine.h"
#include "sim/random.h"
#include "sim/unit.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace velmora::sim {

namespace {

using Nanos = long long;
constexpr Nanos Ms = 1000000;
constexpr Nanos FragmentGap = 20 * Ms; // a pause this long starts a new request frame
constexpr Nanos QuietAfterRequest = 300 * Ms;
constexpr Nanos AbsentPoll = 10 * Ms; // how often to look for a client while none is there
constexpr Nanos Never = -1;
constexpr std::size_t MaxQueued = 32; // replies waiting to go out; a flood beyond is dropped

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = write(signalPipe[1], &c, 1);
}

Nanos monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Nanos>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

Nanos earliest(Nanos a, Nanos b) {
    if (a == Never) return b;
    if (b == Never) return a;
    return a < b ? a : b;
}

std::string hex(const std::uint8_t* bytes, std::size_t n) {
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
        s += buf;
    }
    return s;
}

bool writeImageFile(const std::string& path, const Image& image) {
    const std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(tmp.c_str());
    return ok;
}

struct Outgoing {
    Frame frame;
    Nanos notBefore;
    bool monitor;
    std::string note;
};

struct Incoming {
    Frame frame;
    Nanos due; // when the whole frame would have arrived at the line rate
};

class Simulator {
public:
    Simulator(const SimOptions& o, const Image& image)
        : o_(o), unit_(image, o.wrongEchoBlock, static_cast<std::uint16_t>(o.programmingCount)),
          engine_(o.seed, o.startWaterC, o.ride), faults_(o.seed ^ 0x5EEDFA17ull),
          byteNs_(o.baud > 0 ? 10LL * 1000000000LL / o.baud : 0) {
        engine_.hold(o.holdRpm, o.holdThrottle);
    }

    ~Simulator() {
        if (log_ != nullptr) std::fclose(log_);
        if (master_ >= 0) close(master_);
    }

    int run();

private:
    bool setUp();
    bool makeLink();
    void removeLink();
    void logLine(const char* direction, const std::uint8_t* bytes, std::size_t n,
                 const std::string& note);
    void saveImage(const char* why);
    bool clientPresent();
    void clientLeft();
    void receive(Nanos now);
    void takeByte(std::uint8_t b, Nanos now);
    void expireFragment(Nanos now);
    void answerDueRequests(Nanos now);
    void maybeQueueMonitor(Nanos now);
    void startNextFrame(Nanos now);
    void transmit(Nanos now);
    Nanos nextWake(Nanos now) const;
    Nanos monitorAllowedFrom() const;
    Nanos frameStartFrom(const Outgoing& out) const;

    const SimOptions& o_;
    SimUnit unit_;
    Engine engine_;
    Random faults_;
    Nanos byteNs_;
    Nanos start_ = 0;
    int master_ = -1;
    std::string slavePath_;
    FILE* log_ = nullptr;
    bool present_ = false;

    std::uint8_t rx_[FrameSize]{};
    std::size_t rxCount_ = 0;
    Nanos rxFirst_ = 0, rxLast_ = 0, lastRxDue_ = 0;
    std::deque<Incoming> requests_;
    Nanos lastRequest_ = Never;

    std::deque<Outgoing> queue_;
    bool sending_ = false;
    bool writeBlocked_ = false;
    Outgoing current_{};
    std::size_t sent_ = 0;
    Nanos sendStart_ = 0;
    Nanos lastMonitorEnd_ = Never, lastReplyEnd_ = Never;
    Nanos nextMonitor_ = Never;
};

bool Simulator::setUp() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        std::perror("velmora52-sim: pseudo-terminal");
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) return false;
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    // Open the slave once to make it raw at 9600 8N1 before any client comes; after this
    // close the master reports a hang-up whenever no client holds the slave open.
    int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::perror("velmora52-sim: open slave");
        return false;
    }
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        t.c_cflag |= CLOCAL | CREAD;
        tcsetattr(slave, TCSANOW, &t);
    }
    close(slave);
    return makeLink();
}

bool Simulator::makeLink() {
    struct stat st {};
    if (lstat(o_.linkPath.c_str(), &st) == 0) {
        // Only a link left behind by an earlier run is replaced, never a real file.
        char target[256] = {};
        ssize_t n =
            S_ISLNK(st.st_mode) ? readlink(o_.linkPath.c_str(), target, sizeof target - 1) : -1;
        if (n < 0 || std::strncmp(target, "/dev/pts/", 9) != 0) {
            std::fprintf(stderr, "velmora52-sim: %s exists and is not a terminal link\n",
                         o_.linkPath.c_str());
            return false;
        }
        unlink(o_.linkPath.c_str());
    }
    if (symlink(slavePath_.c_str(), o_.linkPath.c_str()) != 0) {
        std::fprintf(stderr, "velmora52-sim: cannot create %s: %s\n", o_.linkPath.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

void Simulator::removeLink() {
    char target[256] = {};
    ssize_t n = readlink(o_.linkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && slavePath_ == target) unlink(o_.linkPath.c_str());
}

void Simulator::logLine(const char* direction, const std::uint8_t* bytes, std::size_t n,
                        const std::string& note) {
    if (log_ == nullptr) return;
    const double t = static_cast<double>(monotonicNow() - start_) / 1e9;
    std::string line = hex(bytes, n);
    if (!note.empty()) line += line.empty() ? "# " + note : " # " + note;
    std::fprintf(log_, "%.6f %s %s\n", t, direction, line.c_str());
    std::fflush(log_);
}

void Simulator::saveImage(const char* why) {
    if (o_.saveImageFile.empty()) return;
    if (!writeImageFile(o_.saveImageFile, unit_.image()))
        std::fprintf(stderr, "velmora52-sim: cannot write %s (%s)\n", o_.saveImageFile.c_str(),
                     why);
}

bool Simulator::clientPresent() {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) return present_;
    return (p.revents & POLLHUP) == 0;
}

void Simulator::clientLeft() {
    present_ = false;
    // What the client did not read would otherwise greet the next one: bytes still in the
    // slave's input queue are only flushed from the slave side.
    tcflush(master_, TCIOFLUSH);
    int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        tcflush(slave, TCIOFLUSH);
        close(slave);
    }
    if (rxCount_ > 0) logLine("RX", rx_, rxCount_, "fragment, client closed");
    rxCount_ = 0;
    requests_.clear();
    queue_.clear();
    sending_ = false;
    writeBlocked_ = false;
    nextMonitor_ = Never;
    if (log_ != nullptr) logLine("--", nullptr, 0, "client closed the line");
}

void Simulator::expireFragment(Nanos now) {
    if (rxCount_ > 0 && now - rxLast_ > FragmentGap) {
        logLine("RX", rx_, rxCount_, "fragment");
        rxCount_ = 0;
    }
}

void Simulator::takeByte(std::uint8_t b, Nanos now) {
    expireFragment(now);
    if (rxCount_ == 0) rxFirst_ = now;
    rxLast_ = now;
    rx_[rxCount_++] = b;
    if (rxCount_ < FrameSize) return;
    Incoming in{};
    std::copy(rx_, rx_ + FrameSize, in.frame.begin());
    // Frames that arrive together still take one frame time each on a paced line.
    const Nanos lineStart = rxFirst_ > lastRxDue_ ? rxFirst_ : lastRxDue_;
    const Nanos lineDone = lineStart + static_cast<Nanos>(FrameSize) * byteNs_;
    in.due = lineDone > now ? lineDone : now;
    lastRxDue_ = in.due;
    requests_.push_back(in);
    rxCount_ = 0;
}

void Simulator::receive(Nanos now) {
    std::uint8_t buf[512];
    for (;;) {
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) takeByte(buf[i], now);
    }
}

void Simulator::answerDueRequests(Nanos now) {
    while (!requests_.empty() && requests_.front().due <= now) {
        const Frame request = requests_.front().frame;
        requests_.pop_front();
        lastRequest_ = now;
        std::optional<Frame> reply = unit_.handleRequest(request);
        std::string why;
        if (!checkOk(request))
            why = "bad check byte";
        else if (!reply)
            why = "not answered";
        logLine("RX", request.data(), FrameSize, why);
        if (unit_.takeProgrammingCompleted()) saveImage("after programming");
        if (!reply) continue;
        if (faults_.chance(o_.dropProbability)) {
            logLine("DROP", reply->data(), FrameSize, "reply not sent");
            continue;
        }
        if (queue_.size() >= MaxQueued) {
            logLine("DROP", reply->data(), FrameSize, "too many replies waiting");
            continue;
        }
        Outgoing out{*reply, now, false, {}};
        if (o_.lateMs > 0 && faults_.chance(o_.lateProbability)) {
            out.notBefore += o_.lateMs * Ms;
            out.note = "late by " + std::to_string(o_.lateMs) + " ms";
        }
        queue_.push_back(out);
    }
}

Nanos Simulator::monitorAllowedFrom() const {
    Nanos from = nextMonitor_;
    if (!o_.monitorInExchange && lastRequest_ != Never && lastRequest_ + QuietAfterRequest > from)
        from = lastRequest_ + QuietAfterRequest;
    if (lastReplyEnd_ != Never && lastReplyEnd_ + o_.gapMs * Ms > from)
        from = lastReplyEnd_ + o_.gapMs * Ms;
    return from;
}

void Simulator::maybeQueueMonitor(Nanos now) {
    if (o_.monitorMs <= 0 || !present_) return;
    if (nextMonitor_ == Never) nextMonitor_ = now + (o_.monitorMs + o_.phaseMs) * Ms;
    if (sending_ || !queue_.empty() || !requests_.empty() || rxCount_ > 0) return;
    if (now < monitorAllowedFrom()) return;
    Calibration cal;
    Identification ident;
    unpack(unit_.image(), cal, ident);
    const Frame f =
        engine_.nextFrame(o_.monitorMs / 1000.0 * o_.timeScale, cal, unit_.programmingCount());
    queue_.push_back(Outgoing{f, now, true, {}});
    nextMonitor_ += o_.monitorMs * Ms;
    if (nextMonitor_ <= now) nextMonitor_ = now + o_.monitorMs * Ms;
}

Nanos Simulator::frameStartFrom(const Outgoing& out) const {
    Nanos from = out.notBefore;
    // Keep the monitor frames apart from replies so the host never reads them glued.
    const Nanos other = out.monitor ? lastReplyEnd_ : lastMonitorEnd_;
    if (other != Never && other + o_.gapMs * Ms > from) from = other + o_.gapMs * Ms;
    return from;
}

void Simulator::startNextFrame(Nanos now) {
    if (sending_ || queue_.empty() || now < frameStartFrom(queue_.front())) return;
    current_ = queue_.front();
    queue_.pop_front();
    bool corrupted = false;
    for (auto& b : current_.frame) {
        if (faults_.chance(o_.corruptProbability)) {
            b ^= static_cast<std::uint8_t>(1 + faults_.next() % 255);
            corrupted = true;
        }
    }
    std::string note = current_.note;
    if (corrupted) note += note.empty() ? "corrupted" : ", corrupted";
    if (current_.monitor) note += note.empty() ? "monitor" : ", monitor";
    logLine("TX", current_.frame.data(), FrameSize, note);
    sending_ = true;
    sent_ = 0;
    sendStart_ = now;
}

void Simulator::transmit(Nanos now) {
    while (sending_) {
        std::size_t due = FrameSize;
        if (byteNs_ > 0) {
            due = static_cast<std::size_t>((now - sendStart_) / byteNs_) + 1;
            if (due > FrameSize) due = FrameSize;
        }
        if (due <= sent_) return;
        ssize_t n = write(master_, current_.frame.data() + sent_, due - sent_);
        // EAGAIN: a client that does not read has filled the queue; wait until there is room.
        // EIO: the hang-up is seen next round.
        writeBlocked_ = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        if (n < 0) return;
        sent_ += static_cast<std::size_t>(n);
        if (sent_ < due) continue; // part taken: the next try finds room or blocks
        if (sent_ < FrameSize) return;
        sending_ = false;
        const Nanos end = byteNs_ > 0 ? sendStart_ + static_cast<Nanos>(FrameSize) * byteNs_ : now;
        (current_.monitor ? lastMonitorEnd_ : lastReplyEnd_) = end;
        startNextFrame(now);
    }
}

Nanos Simulator::nextWake(Nanos now) const {
    Nanos wake = Never;
    if (!present_) return now + AbsentPoll;
    if (sending_ && byteNs_ > 0 && !writeBlocked_)
        wake = sendStart_ + static_cast<Nanos>(sent_) * byteNs_;
    if (!sending_ && !queue_.empty()) wake = earliest(wake, frameStartFrom(queue_.front()));
    if (!requests_.empty()) wake = earliest(wake, requests_.front().due);
    if (rxCount_ > 0) wake = earliest(wake, rxLast_ + FragmentGap + 1);
    if (o_.monitorMs > 0 && nextMonitor_ != Never && !sending_ && queue_.empty())
        wake = earliest(wake, monitorAllowedFrom());
    return wake;
}

int Simulator::run() {
    start_ = monotonicNow();
    if (!o_.logFile.empty()) {
        log_ = std::fopen(o_.logFile.c_str(), "w");
        if (log_ == nullptr) {
            std::fprintf(stderr, "velmora52-sim: cannot write log %s\n", o_.logFile.c_str());
            return 1;
        }
    }
    if (pipe(signalPipe) != 0) return 1;
    fcntl(signalPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!setUp()) return 1;
    std::printf("velmora52-sim: %s -> %s\n", o_.linkPath.c_str(), slavePath_.c_str());
    std::fflush(stdout);

    for (;;) {
        Nanos now = monotonicNow();
        const Nanos wake = nextWake(now);
        pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {master_, 0, 0}};
        nfds_t count = 1;
        if (present_) {
            fds[1].events = POLLIN;
            if (sending_ && writeBlocked_) fds[1].events |= POLLOUT;
            count = 2;
        }
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (wake != Never) {
            const Nanos wait = wake > now ? wake - now : 0;
            timeout.tv_sec = static_cast<time_t>(wait / 1000000000LL);
            timeout.tv_nsec = static_cast<long>(wait % 1000000000LL);
            timeoutPtr = &timeout;
        }
        if (ppoll(fds, count, timeoutPtr, nullptr) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) break;

        now = monotonicNow();
        if (present_ && (fds[1].revents & POLLIN)) receive(now);
        const bool present = clientPresent();
        if (present_ && !present) clientLeft();
        if (!present_ && present) {
            present_ = true;
            logLine("--", nullptr, 0, "client opened the line");
        }
        if (!present_) continue;
        expireFragment(now);
        answerDueRequests(now);
        maybeQueueMonitor(now);
        startNextFrame(now);
        transmit(now);
    }

    removeLink();
    saveImage("at exit");
    return 0;
}

} // namespace

int runSimulator(const SimOptions& options, const Image& initialImage) {
    Simulator sim(options, initialImage);
    return sim.run();
}

} // namespace velmora::sim
