#include "sim/server.h"

#include "sim/engine.h"
#include "sim/pty.h"
#include "sim/random.h"
#include "sim/unit.h"

#include "link/wideband.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace velmora::sim {

namespace {

using Nanos = long long;
constexpr Nanos Ms = 1000000;
constexpr Nanos FragmentGap = 20 * Ms; // a pause this long starts a new request frame
constexpr Nanos QuietAfterRequest = 300 * Ms;
constexpr Nanos AbsentPoll = 10 * Ms; // how often to look for a client while none is there
constexpr Nanos Never = -1;
constexpr std::size_t MaxQueued = 32; // replies waiting to go out; a flood beyond is dropped
constexpr Nanos EngineCatchUp = 100 * Ms;
constexpr Nanos UnpluggedFor = 2000 * Ms;

int signalPipe[2] = {-1, -1};

// The byte a signal leaves in the pipe: U unplugs the wide-band controller, Q ends the program.
extern "C" void onSignal(int number) {
    const char c = number == SIGUSR1 ? 'U' : 'Q';
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

// A wide-band controller on a terminal of its own: one reading at its protocol's rate while a
// client holds the line, paced at the line rate. Unplugged, its link and terminal vanish for
// UnpluggedFor and come back at the same path.
class WidebandLine {
public:
    explicit WidebandLine(const SimOptions& o)
        : o_(o), junk_(o.seed ^ 0x4A554E4B4A554E4Bull), byteNs_(10LL * 1000000000LL / baud()) {}

    bool open() { return pty_.open(o_.widebandPath, baud()); }
    void close() { pty_.close(); }
    void unplug(Nanos now) {
        pty_.close();
        present_ = false;
        pending_.clear();
        back_ = now + UnpluggedFor;
    }
    int fd() const { return pty_.fd(); }
    const std::string& slavePath() const { return pty_.slavePath(); }
    bool present() const { return present_; }

    // Comes back after an unplug, follows the client, discards what the client sends. Returns
    // true when the client came or went.
    bool update(Nanos now) {
        if (back_ != Never && now >= back_) {
            back_ = Never;
            if (!pty_.open(o_.widebandPath, baud())) back_ = now + UnpluggedFor;
        }
        if (pty_.fd() < 0) return false;
        const bool present = pty_.clientPresent(present_);
        if (present) {
            std::uint8_t buf[256];
            while (read(pty_.fd(), buf, sizeof buf) > 0) {
            }
        }
        if (present == present_) return false;
        present_ = present;
        pending_.clear();
        if (!present_) pty_.flush();
        nextReading_ = now;
        return true;
    }

    bool readingDue(Nanos now) const { return present_ && now >= nextReading_; }

    // The bytes of one reading for the sensor's lambda at engine second `t`; queued to go out.
    std::vector<std::uint8_t> queueReading(Nanos now, double t, double lambda, std::string& note) {
        WidebandState state = WidebandState::Ok;
        int detail = 0;
        if (t < o_.widebandWarmupS) {
            state = WidebandState::WarmingUp;
            // MTS counts the warm-up in tenths of a percent, the PLM in percent.
            const double done = t / o_.widebandWarmupS;
            detail = static_cast<int>(std::lround(
                done * (o_.widebandProtocol == WidebandProtocol::InnovateMts ? 1000 : 100)));
            note = "warming up";
        } else if (o_.widebandErrorAtS >= 0 && t >= o_.widebandErrorAtS &&
                   t < o_.widebandErrorAtS + o_.widebandErrorS) {
            state = WidebandState::SensorError;
            detail = 1;
            note = "sensor error";
        } else {
            char text[32];
            std::snprintf(text, sizeof text, "lambda %.3f", lambda);
            note = text;
        }
        std::vector<std::uint8_t> bytes = encodeWideband(o_.widebandProtocol, state, lambda,
                                                         o_.widebandStoich, o_.widebandAfr, detail);
        if (!bytes.empty() && junk_.chance(o_.widebandJunk)) {
            bytes[junk_.next() % bytes.size()] ^= static_cast<std::uint8_t>(1 + junk_.next() % 255);
            note += ", damaged";
        }
        if (pending_.empty()) {
            sent_ = 0;
            sendStart_ = now;
        }
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        nextReading_ += period();
        if (nextReading_ <= now) nextReading_ = now + period();
        return bytes;
    }

    void transmit(Nanos now) {
        if (!present_ || pending_.empty()) return;
        const std::size_t due =
            std::min(pending_.size(), static_cast<std::size_t>((now - sendStart_) / byteNs_) + 1);
        if (due <= sent_) return;
        const ssize_t n = write(pty_.fd(), pending_.data() + sent_, due - sent_);
        if (n <= 0) return; // a client that does not read: try again at the next byte
        sent_ += static_cast<std::size_t>(n);
        if (sent_ == pending_.size()) pending_.clear();
    }

    Nanos nextWake(Nanos now) const {
        Nanos wake = back_;
        if (pty_.fd() >= 0 && !present_) wake = earliest(wake, now + AbsentPoll);
        if (present_) {
            wake = earliest(wake, nextReading_);
            if (!pending_.empty())
                wake = earliest(wake, sendStart_ + static_cast<Nanos>(sent_) * byteNs_);
        }
        return wake;
    }

private:
    int baud() const { return o_.widebandProtocol == WidebandProtocol::InnovateMts ? 19200 : 9600; }
    Nanos period() const {
        switch (o_.widebandProtocol) {
        case WidebandProtocol::InnovateMts:
            return 81920000; // 81.92 ms
        case WidebandProtocol::MotecPlm:
            return 50 * Ms;
        default:
            return 100 * Ms;
        }
    }

    const SimOptions& o_;
    Pty pty_;
    Random junk_;
    Nanos byteNs_;
    bool present_ = false;
    Nanos back_ = Never; // when an unplugged controller comes back
    Nanos nextReading_ = 0;
    std::vector<std::uint8_t> pending_;
    std::size_t sent_ = 0;
    Nanos sendStart_ = 0;
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
    }

    int run();

private:
    bool setUp();
    Calibration calibration() const;
    double engineSeconds(Nanos now);
    void keepEngineTime(Nanos now, bool anyone);
    void sendWideband(Nanos now);
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
    Pty pty_;
    int master_ = -1;
    FILE* log_ = nullptr;
    Nanos engineAt_ = Never; // real time the engine was last brought up to; Never: paused
    std::unique_ptr<class WidebandLine> wideband_;
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
    if (!pty_.open(o_.linkPath, 9600)) return false;
    master_ = pty_.fd();
    engine_.setDelayMsAt3000(o_.delayMsAt3000);
    if (!o_.requirementFile.empty()) {
        const RequirementResult need = readRequirementFile(o_.requirementFile, calibration());
        if (!need.requirement) {
            std::fprintf(stderr, "velmora52-sim: %s\n", need.error.c_str());
            return false;
        }
        engine_.setRequirement(need.requirement);
    } else if (o_.requirementSeed) {
        engine_.setRequirement(
            requirementFromSeed(*o_.requirementSeed, calibration(), o_.requirementSpread));
    }
    if (!o_.widebandPath.empty()) {
        wideband_ = std::make_unique<WidebandLine>(o_);
        if (!wideband_->open()) return false;
    }
    return true;
}

Calibration Simulator::calibration() const {
    Calibration cal;
    Identification ident;
    unpack(unit_.image(), cal, ident);
    return cal;
}

// Simulated seconds since the engine was last brought up to date, and now it is.
double Simulator::engineSeconds(Nanos now) {
    const double dt = engineAt_ != Never && now > engineAt_
                          ? static_cast<double>(now - engineAt_) / 1e9 * o_.timeScale
                          : 0.0;
    engineAt_ = now;
    return dt;
}

void Simulator::sendWideband(Nanos now) {
    WidebandLine& wb = *wideband_;
    if (wb.readingDue(now)) {
        engine_.step(engineSeconds(now), calibration());
        std::string note;
        const std::vector<std::uint8_t> bytes =
            wb.queueReading(now, engine_.state().time, engine_.sensorLambda(), note);
        logLine("WB", bytes.data(), bytes.size(), note);
    }
    wb.transmit(now);
}

// The engine runs while a client holds either line, on one clock for the monitor frames and
// the wide-band readings; it is brought up to date at least every EngineCatchUp.
void Simulator::keepEngineTime(Nanos now, bool anyone) {
    if (anyone && engineAt_ == Never) engineAt_ = now;
    if (engineAt_ == Never) return;
    if (!anyone || now - engineAt_ >= EngineCatchUp)
        engine_.step(engineSeconds(now), calibration());
    if (!anyone) engineAt_ = Never;
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
    return pty_.clientPresent(present_);
}

void Simulator::clientLeft() {
    present_ = false;
    // What the client did not read would otherwise greet the next one.
    pty_.flush();
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
    const Frame f = engine_.nextFrame(engineSeconds(now), calibration(), unit_.programmingCount());
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
    Nanos wake = wideband_ ? wideband_->nextWake(now) : Never;
    if (engineAt_ != Never) wake = earliest(wake, engineAt_ + EngineCatchUp);
    if (!present_) return earliest(wake, now + AbsentPoll);
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
    sigaction(SIGUSR1, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!setUp()) return 1;
    std::printf("velmora52-sim: %s -> %s\n", o_.linkPath.c_str(), pty_.slavePath().c_str());
    if (wideband_)
        std::printf("velmora52-sim: wide-band %s -> %s\n", o_.widebandPath.c_str(),
                    wideband_->slavePath().c_str());
    std::fflush(stdout);

    for (;;) {
        Nanos now = monotonicNow();
        const Nanos wake = nextWake(now);
        pollfd fds[3] = {{signalPipe[0], POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
        nfds_t count = 3;
        if (present_) {
            fds[1] = {master_, POLLIN, 0};
            if (sending_ && writeBlocked_) fds[1].events |= POLLOUT;
        }
        if (wideband_ && wideband_->present()) fds[2] = {wideband_->fd(), POLLIN, 0};
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (wake != Never) {
            const Nanos wait = wake > now ? wake - now : 0;
            timeout.tv_sec = static_cast<time_t>(wait / 1000000000LL);
            timeout.tv_nsec = static_cast<long>(wait % 1000000000LL);
            timeoutPtr = &timeout;
        }
        if (ppoll(fds, count, timeoutPtr, nullptr) < 0 && errno != EINTR) break;
        bool quit = false, unplug = false;
        if (fds[0].revents & POLLIN) {
            char got[16];
            for (ssize_t n; (n = read(signalPipe[0], got, sizeof got)) > 0;) {
                for (ssize_t i = 0; i < n; ++i) (got[i] == 'U' ? unplug : quit) = true;
            }
        }
        if (quit) break;

        now = monotonicNow();
        if (wideband_) {
            if (unplug) {
                wideband_->unplug(now);
                logLine("--", nullptr, 0, "wide-band controller unplugged");
            }
            if (wideband_->update(now))
                logLine("--", nullptr, 0,
                        wideband_->present() ? "client opened the wide-band line"
                                             : "client closed the wide-band line");
        }
        if (present_ && (fds[1].revents & POLLIN)) receive(now);
        const bool present = clientPresent();
        if (present_ && !present) clientLeft();
        if (!present_ && present) {
            present_ = true;
            logLine("--", nullptr, 0, "client opened the line");
        }
        keepEngineTime(now, present_ || (wideband_ && wideband_->present()));
        if (wideband_) sendWideband(now);
        if (!present_) continue;
        expireFragment(now);
        answerDueRequests(now);
        maybeQueueMonitor(now);
        startNextFrame(now);
        transmit(now);
    }

    pty_.close();
    if (wideband_) wideband_->close();
    saveImage("at exit");
    return 0;
}

} // namespace

int runSimulator(const SimOptions& options, const Image& initialImage) {
    Simulator sim(options, initialImage);
    return sim.run();
}

} // namespace velmora::sim
