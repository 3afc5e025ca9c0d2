// Fault soak: hundreds of exchanges (read with verify, verify, program) against the simulated
// unit over a pseudo-terminal, with seeded faults on the line and in the unit, the unit
// vanishing and coming back, and the port reopened the way the Com menu does it. Every
// exchange must end within its bound in its success message or its red failure message, and
// a reported success must be true: after a program the unit holds the packed calibration,
// after a read the working parameters are the unit's calibration as clamped, after a verify
// the unit holds what was compared.
//
//   reliability_soak [--exchanges N] [--seed S] [--tick-ms T] [--verbose]
#include "fault_port.h"
#include "harness.h"

#include "link/link.h"
#include "link/serial_port.h"
#include "model/clamp.h"
#include "model/defaults.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace velmora;
using namespace velmora::reliability;
using velmora::simtest::makeTempDir;
using velmora::simtest::SimProcess;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int exchanges = 500;
    std::uint64_t seed = 1;
    int tickMs = 6;
    bool verbose = false;
};

bool parseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--exchanges" && hasValue) {
            o.exchanges = std::atoi(argv[++i]);
        } else if (a == "--seed" && hasValue) {
            o.seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--tick-ms" && hasValue) {
            o.tickMs = std::atoi(argv[++i]);
        } else if (a == "--verbose") {
            o.verbose = true;
        } else {
            return false;
        }
    }
    return o.exchanges > 0 && o.tickMs > 0;
}

enum class Op { Read, Verify, Program };
const char* opName(Op op) {
    return op == Op::Read ? "read" : op == Op::Verify ? "verify" : "program";
}

// Blocks an exchange may take: a read is followed by the verify of blocks 1 to 11.
int blocksOf(Op op) {
    return op == Op::Read ? 23 : op == Op::Verify ? 11 : 12;
}

bool isSuccess(Op op, Message m) {
    return op == Op::Program ? m == Message::ProgramOk : m == Message::VerifyOk;
}

bool isFailure(Op op, Message m) {
    switch (op) {
    case Op::Read:
        return m == Message::ReadError || m == Message::NoReading ||
               m == Message::UnmatchedVersion || m == Message::VerifyError;
    case Op::Verify:
        return m == Message::VerifyError;
    case Op::Program:
        return m == Message::ProgramError || m == Message::UnmatchedVersion;
    }
    return false;
}

// Faults the unit itself produces, counted from its log.
struct UnitCounts {
    int dropped = 0, damaged = 0, late = 0;
    int total() const { return dropped + damaged + late; }
};

void countLog(const std::string& path, UnitCounts& c) {
    for (const simtest::LogEntry& e : simtest::readLog(path)) {
        c.dropped += e.direction == "DROP";
        if (e.direction != "TX") continue;
        c.damaged += e.note.find("corrupted") != std::string::npos;
        c.late += e.note.find("late by") != std::string::npos;
    }
}

class Soak {
public:
    explicit Soak(const Options& o)
        : o_(o), rng_(o.seed), dir_(makeTempDir("velmora-soak")), link_(dir_ + "/unit"),
          imageFile_(dir_ + "/image.bin"), sim_(SimProcess::AtLink{link_}), port_(serial_, rng_),
          host_(cal_, ident_, image_, language_) {
        ports_[0] = link_; // COM1 in the [PORTS] section
        port_.exchangeRunning = [this] { return host_.exchange().busy(); };
        host_.setPort(&port_);
    }
    ~Soak() {
        sim_.stop();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    int run();

private:
    double uniform() { return std::uniform_real_distribution<double>(0, 1)(rng_); }
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    bool startUnit();
    void stopUnit();
    void chooseComPort() {
        serial_.open(1, ports_);
        port_.reset();
    }
    // The unit unplugged and plugged in again, or restarted only to learn what it holds.
    void vanishAndComeBack(bool fault) {
        stopUnit();
        ++(fault ? vanished_ : relearned_);
        if (startUnit()) chooseComPort();
    }
    void editCalibration();
    void waitForTick();
    void runExchange(int index);

    Options o_;
    std::mt19937_64 rng_;
    std::string dir_, link_, imageFile_;
    SimProcess sim_;
    PortMap ports_ = defaultPortMap();
    SerialPort serial_;
    FaultPort port_;

    Calibration cal_;
    Identification ident_;
    Image image_{};
    std::uint8_t language_ = 1; // English
    Link host_;

    Image unit_{}; // what the unit holds, when known
    bool unitKnown_ = false;
    bool unitUp_ = false;
    int starts_ = 0;

    int run_ = 0, successes_ = 0, failures_ = 0, wrongData_ = 0, neverEnded_ = 0;
    int wrongEnding_ = 0, vanished_ = 0, relearned_ = 0, changedByFailure_ = 0, replaced_ = 0;
    int perOp_[3] = {};
    UnitCounts unitFaults_;
    int longestTicks_ = 0;
    double longestMs_ = 0;
};

// A fresh fault profile at every start: most lives are mildly noisy, some hostile, a few dead.
bool Soak::startUnit() {
    const double roll = uniform();
    double drop = 0.02, corrupt = 0.001, late = 0.02;
    LineOdds line{0.01, 0.01, 0.005, 0.005, 0.01};
    if (roll > 0.3) {
        drop = 0.08;
        corrupt = 0.004;
        late = 0.08;
        line = {0.04, 0.04, 0.02, 0.02, 0.04};
    }
    if (roll > 0.75) {
        drop = 0.35;
        corrupt = 0.01;
        late = 0.25;
        line = {0.1, 0.1, 0.05, 0.05, 0.1};
    }
    if (roll > 0.96) drop = 1.0;
    port_.odds = line;

    const std::string log = dir_ + "/unit-" + std::to_string(++starts_) + ".log";
    std::vector<std::string> args = {"--image",      imageFile_,
                                     "--save-image", imageFile_,
                                     "--baud",       "0",
                                     "--seed",       std::to_string(rng_() % 1000000007u),
                                     "--drop",       std::to_string(drop),
                                     "--corrupt",    std::to_string(corrupt),
                                     "--late",       std::to_string(between(1, 6) * o_.tickMs),
                                     "--late-prob",  std::to_string(late),
                                     "--monitor",    std::to_string(between(0, 3) * 15),
                                     "--gap",        std::to_string(between(0, 3)),
                                     "--log",        log};
    if (uniform() < 0.5) args.push_back("--monitor-in-exchange");
    unitUp_ = sim_.start(args);
    if (!unitUp_) std::fprintf(stderr, "soak: the simulator did not start\n");
    return unitUp_;
}

// The unit saves its image when it goes, so from then on we know what it holds.
void Soak::stopUnit() {
    if (!unitUp_) return;
    sim_.stop();
    unitUp_ = false;
    const std::string log = dir_ + "/unit-" + std::to_string(starts_) + ".log";
    countLog(log, unitFaults_);
    std::remove(log.c_str());
    unitKnown_ = simtest::readImageFile(imageFile_, unit_);
}

// What a user does between exchanges: change a few values, now and then pick another model.
void Soak::editCalibration() {
    const int edits = between(1, 6);
    for (int i = 0; i < edits; ++i) {
        const auto p = static_cast<Param>(between(0, ParamCount - 1));
        if (p == ZakazCteni || p == ExtMonitor) continue;
        cal_[p] = static_cast<std::uint8_t>(between(0, 255));
    }
    if (uniform() < 0.05) {
        cal_[Klicovani] = static_cast<std::uint8_t>(between(0, 13));
        applyModelTable(cal_);
    }
    // Now and then the calibration forbids reading it back.
    cal_[ZakazCteni] = uniform() < 0.04 ? 1 : 0;
    clamp(cal_);
}

// A tick comes at once when a frame's worth has arrived, else after the tick period: as fast
// as the line allows, while a silent line still times out in ticks.
void Soak::waitForTick() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(o_.tickMs);
    while (Clock::now() < deadline) {
        if (serial_.bytesWaiting() >= FrameSize) return;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void Soak::runExchange(int index) {
    if (!unitKnown_) vanishAndComeBack(false); // learn what a failed program left in the unit

    Op op = uniform() < 0.4 ? Op::Read : uniform() < 0.45 ? Op::Verify : Op::Program;
    Exchange& ex = host_.exchange();
    Calibration before, atStart;
    auto start = [&] {
        ++perOp_[static_cast<int>(op)];
        before = cal_;
        if (op == Op::Read) {
            ex.startRead();
        } else {
            // A verify after edits that were not programmed must find the difference.
            if (op == Op::Program || uniform() < 0.3) editCalibration();
            clamp(cal_);
            pack(cal_, image_);
            op == Op::Verify ? ex.startVerify() : ex.startProgram();
        }
        atStart = cal_;
    };
    start();

    int bound = 20 * blocksOf(op);
    int vanishAt = -1, backAt = -1, replaceAt = -1;
    if (uniform() < 0.06) {
        vanishAt = between(1, bound / 4);
        if (uniform() < 0.5) backAt = vanishAt + between(1, 25);
    }
    if (uniform() < 0.04) replaceAt = between(1, bound / 4);
    const auto started = Clock::now();
    int ticks = 0;
    // Twice the bound before giving up on it, to tell a late end from none at all.
    while (ex.busy() && ticks < 2 * bound) {
        waitForTick();
        host_.tick();
        ++ticks;
        if (ticks == vanishAt) {
            stopUnit();
            ++vanished_;
        }
        if (ticks == backAt && startUnit()) chooseComPort();
        if (ticks == replaceAt && ex.busy()) {
            // The user gives another command: the running exchange is dropped without a word.
            // A program dropped part way is followed by a program, so that we learn what the
            // unit holds from its end.
            if (op != Op::Program)
                op = uniform() < 0.5 ? Op::Read : uniform() < 0.5 ? Op::Verify : Op::Program;
            ++replaced_;
            start();
            bound = ticks + 20 * blocksOf(op);
        }
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    if (vanishAt > 0 && !unitUp_ && startUnit()) chooseComPort();
    ++run_;
    longestTicks_ = std::max(longestTicks_, ticks);
    longestMs_ = std::max(longestMs_, ms);

    const ExchangeView& view = ex.view();
    auto report = [&](const char* what) {
        std::fprintf(stderr, "soak: exchange %d (%s, seed %llu): %s after %d ticks, message %s\n",
                     index, opName(op), static_cast<unsigned long long>(o_.seed), what, ticks,
                     view.messageText.c_str());
    };
    if (ex.busy() || ticks > bound) {
        ++neverEnded_;
        report(ex.busy() ? "never ended" : "ended beyond its bound");
        ex.startRead(); // abandoned, as a new command would
        for (int i = 0; i < 4 * bound && ex.busy(); ++i) host_.tick();
        unitKnown_ = false;
        return;
    }
    const std::optional<Message> m = view.message;
    const bool shown = view.messageVisible;
    if (m && isFailure(op, *m) && view.messageColour == Colour::Red && shown) {
        ++failures_;
        // Only a read that got to its end takes the unit's values; every other failure leaves
        // the calibration on screen as it was (flags may come back as 1 for any non-zero).
        Image was = image_, now = image_;
        pack(atStart, was);
        pack(cal_, now);
        if (!(op == Op::Read && *m == Message::VerifyError) && was != now) {
            ++changedByFailure_;
            report("failed and changed the working parameters");
        }
        if (op == Op::Program) unitKnown_ = false;
        if (o_.verbose) report("failed");
        return;
    }
    if (!(m && isSuccess(op, *m) && view.messageColour == Colour::BtnFace && shown)) {
        ++wrongEnding_;
        report("ended without its success or failure message");
        unitKnown_ = false;
        return;
    }
    ++successes_;

    bool right = true;
    if (op == Op::Program) {
        Image packed = image_;
        pack(cal_, packed);
        Image saved{};
        right = simtest::readImageFile(imageFile_, saved) && saved == packed && packed == image_;
        unit_ = saved;
        unitKnown_ = true;
    } else if (op == Op::Read) {
        Calibration expected = before;
        Identification ident;
        unpack(unit_, expected, ident);
        clamp(expected);
        right = cal_ == expected && ident_ == rebuildIdentification(unit_);
    } else {
        right = std::equal(image_.begin() + BlockSize, image_.end(), unit_.begin() + BlockSize);
    }
    if (!right) {
        ++wrongData_;
        report("reported success with wrong data");
    } else if (o_.verbose) {
        report("succeeded");
    }
}

int Soak::run() {
    if (dir_.empty()) return 2;
    // The unit starts with the default calibration of model 6 and an identification of its own.
    Image first{};
    pack(simtest::defaultCalibration(6), first);
    const std::uint8_t block0[] = {'V', 'L', 'M', 52, 14, 0, 24, 10, 30, 1, 5};
    std::copy(std::begin(block0), std::end(block0), first.begin());
    first[ProgMonth] =
        static_cast<std::uint8_t>('M' + 'a' + 'r'); // a month is stored as its name's sum
    if (!simtest::writeImageFile(imageFile_, first)) return 2;
    unit_ = first;
    unitKnown_ = true;
    cal_ = simtest::defaultCalibration(2); // the tool starts from another model than the unit's

    if (!startUnit()) return 2;
    chooseComPort();
    const auto started = Clock::now();
    for (int i = 0; i < o_.exchanges; ++i) {
        if (uniform() < 0.02) vanishAndComeBack(true); // unplugged and plugged in while idle
        if (!unitUp_ && !startUnit()) return 2;
        runExchange(i);
    }
    stopUnit();
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    const LineCounts& l = port_.counts;
    const int faults = unitFaults_.total() + l.total() + l.monitorMidExchange + vanished_;
    std::printf("soak: seed %llu, tick %d ms, %.1f s\n", static_cast<unsigned long long>(o_.seed),
                o_.tickMs, seconds);
    std::printf("soak: exchanges run %d (commands: read %d, verify %d, program %d)\n", run_,
                perOp_[0], perOp_[1], perOp_[2]);
    std::printf("soak: faults injected %d (dropped replies %d, damaged replies %d, late replies "
                "%d, glued frames %d, split frames %d, flipped bits %d, stray bytes %d, monitor "
                "frames mid-exchange %d + %d pushed in, device vanished %d)\n",
                faults, unitFaults_.dropped, unitFaults_.damaged, unitFaults_.late, l.glued,
                l.split, l.flipped, l.noise, l.monitorMidExchange, l.injectedMonitor, vanished_);
    std::printf("soak: successes %d\n", successes_);
    std::printf("soak: failures reported %d\n", failures_);
    std::printf("soak: wrong data accepted %d\n", wrongData_);
    std::printf("soak: exchanges that never ended %d\n", neverEnded_);
    std::printf("soak: ended without their message %d\n", wrongEnding_);
    std::printf("soak: failures that changed the working parameters %d\n", changedByFailure_);
    std::printf("soak: exchanges replaced by a new command while running %d\n", replaced_);
    std::printf("soak: restarts of the unit to learn its image after a failed program %d\n",
                relearned_);
    std::printf("soak: longest exchange %d ticks, %.0f ms\n", longestTicks_, longestMs_);
    return wrongData_ == 0 && neverEnded_ == 0 && wrongEnding_ == 0 && changedByFailure_ == 0 &&
                   run_ == o_.exchanges
               ? 0
               : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options o;
    if (!parseArgs(argc, argv, o)) {
        std::fprintf(stderr, "usage: reliability_soak [--exchanges N] [--seed S] [--tick-ms T] "
                             "[--verbose]\n");
        return 2;
    }
    Soak soak(o);
    return soak.run();
}
