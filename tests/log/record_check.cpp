// Recording end to end, printing its figures:
//   record_check sim SECONDS  records velmora52-sim at one frame per tick through the link, as
//                             the window does; checks that every frame the simulator sent is
//                             recorded, in order, that "No Connection" never shows, and that
//                             mlg-converter reads the same values; prints the recorder's cost.
//   record_check phases SECONDS  the same at every phase of the tick (first frame shifted by
//                             0..54 ms), and with frames every 30 ms (two in some ticks).
//   record_check kill N       kills a recording process N times with SIGKILL; each log must
//                             read, its last record at most 1 s older than the kill.
//   record_check wideband SECONDS  the same with a simulated MTS controller on its own line,
//                             unplugged for 2 s halfway: every byte of every reading it sent is
//                             in the wide-band log with its arrival time, the samples of the gap
//                             hold no lambda (NaN, never 0), and the reader reopens the line.
#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "link/wideband_reader.h"
#include "log/frame_log.h"
#include "log/mlg.h"
#include "log/recorder.h"
#include "log/wideband_log.h"
#include "sim/engine.h"
#include "test_dir.h"
#include "tests/log/mlg_node_check.h"
#include "tests/sim/harness.h"

using namespace velmora;
using namespace velmora::log;
using Clock = std::chrono::steady_clock;

namespace {

std::uint64_t nowMs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// The monitor frames the simulator started to send, from its line log.
std::vector<Frame> framesSent(const std::string& simLog) {
    std::vector<Frame> sent;
    for (const simtest::LogEntry& e : simtest::readLog(simLog)) {
        if (e.direction != "TX" || e.bytes.size() != FrameSize ||
            e.note.find("monitor") == std::string::npos)
            continue;
        Frame f;
        std::copy(e.bytes.begin(), e.bytes.end(), f.begin());
        sent.push_back(f);
    }
    return sent;
}

int simRun(int seconds, int monitorMs = 55, int phaseMs = 0, bool full = true) {
    const test::TestDir dir;
    simtest::SimProcess sim({"--monitor", std::to_string(monitorMs), "--phase",
                             std::to_string(phaseMs), "--scenario", "ride", "--speed", "20",
                             "--log", "{dir}/line.log"});
    if (!sim.started()) {
        std::printf("record: the simulator did not start\n");
        return 1;
    }
    simtest::Host host;
    host.cal = simtest::defaultCalibration(6);
    if (!host.open(sim.linkPath())) {
        std::printf("record: cannot open %s\n", sim.linkPath().c_str());
        return 1;
    }
    Recorder rec;
    if (!rec.start(dir.file("ride"), 0, "Velmora 52 record_check", nowMs())) {
        std::printf("record: %s\n", rec.error().c_str());
        return 1;
    }
    std::vector<Record> expected;
    std::vector<double> costUs;
    std::size_t decoded = 0, markers = 0;
    const Subscription listening = host.link.samples().subscribe([&](const EngineSample& s) {
        ++decoded;
        const auto t0 = Clock::now();
        const std::uint64_t now = nowMs();
        const bool written = rec.record(s, now);
        rec.flushIfDue(now);
        costUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (written) expected.push_back(rec.last());
        if (decoded % 500 == 0) markers += rec.marker("lap", now) > 0;
    });
    const int ticks = seconds * 1000 / 55;
    // "No Connection" once the first frame has come.
    int noConnectionTicks = 0;
    auto next = Clock::now();
    for (int i = 0; i < ticks; ++i) {
        next += std::chrono::milliseconds(55);
        std::this_thread::sleep_until(next);
        host.link.tick();
        noConnectionTicks += decoded > 0 && host.link.exchange().view().noConnectionVisible;
    }
    // Closing the line stops the simulator's frames; at most the one on the line is cut off.
    host.link.tick();
    host.port.close();
    rec.stop(nowMs());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sim.stop();
    const std::vector<Frame> sent = framesSent(sim.file("line.log"));
    const LogReadResult r = readMlgFile(rec.logPath());
    const FrameLogResult frames = readFrameLogFile(rec.frameLogPath());
    // The first frames wait until every frame kind has arrived once.
    const std::size_t waiting = rec.framesWaiting();
    const std::size_t lost = sent.size() - std::min(sent.size(), r.data.records() + waiting);
    bool inOrder = frames.frames.size() + waiting <= sent.size();
    for (std::size_t i = 0; inOrder && i < frames.frames.size(); ++i)
        inOrder = frames.frames[i].frame == sent[i + waiting];
    std::printf("record: %d s, a frame every %d ms, first shifted by %d ms (%d ticks): %zu frames "
                "sent, %zu records (%.2f %%), %zu waiting for every frame kind, %zu in the frame "
                "log, %zu not recorded, frames %s, \"No Connection\" for %d ticks, %zu markers\n",
                seconds, monitorMs, phaseMs, ticks, sent.size(), r.data.records(),
                sent.empty() ? 0.0
                             : 100.0 * static_cast<double>(r.data.records()) /
                                   static_cast<double>(sent.size()),
                waiting, frames.frames.size(), lost, inOrder ? "in order" : "NOT in order",
                noConnectionTicks, markers);
    if (full)
        std::printf("record: recorder cost per record, flush included: median %.1f us, 99th "
                    "percentile %.1f us, worst %.1f us\n",
                    percentile(costUs, 0.5), percentile(costUs, 0.99), percentile(costUs, 1.0));
    // The frame on the line when the host closed is the only one that may be missing.
    bool ok = r.ok && !r.data.truncated && !sent.empty() && waiting < 3 &&
              r.data.records() + waiting == decoded && frames.frames.size() == r.data.records() &&
              inOrder && lost <= 1 && noConnectionTicks == 0;
    for (std::size_t i = 0; ok && i < r.data.records(); ++i)
        for (std::size_t c = 0; c < ChannelCount; ++c)
            if (std::fabs(r.data.columns[c][i] - static_cast<double>(expected[i][c]) *
                                                     static_cast<double>(channels()[c].scale)) >
                1e-3 + 1e-6 * std::fabs(r.data.columns[c][i]))
                ok = false;
    if (!ok) {
        std::printf("record: FAILED %s\n", r.ok ? "(values differ)" : r.error.c_str());
        return 1;
    }
    return full ? mlgConverterCheck(rec.logPath(), expected, markers, dir.path()) : 0;
}

int widebandRun(int seconds) {
    const test::TestDir dir;
    simtest::SimProcess sim({"--monitor", "100", "--scenario", "ride", "--water", "85",
                             "--wideband", "{dir}/wb", "--wb-protocol", "mts", "--log",
                             "{dir}/line.log"});
    simtest::Host host;
    host.cal = simtest::defaultCalibration(6);
    if (!sim.started() || !host.open(sim.linkPath())) {
        std::printf("wideband: the simulator did not start\n");
        return 1;
    }
    Recorder rec;
    if (!rec.start(dir.file("ride"), 0, "Velmora 52 record_check", nowMs())) {
        std::printf("wideband: %s\n", rec.error().c_str());
        return 1;
    }
    WidebandReader reader(nowMs);
    host.link.clockMs = nowMs;
    host.link.addJoiner(reader);
    for (int i = 0;
         i < 40 && reader.open(sim.file("wb"), WidebandProtocol::InnovateMts) != OpenResult::Opened;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!reader.isOpen()) {
        std::printf("wideband: cannot open the controller's line\n");
        return 1;
    }
    std::size_t readings = 0, samples = 0, withLambda = 0, zero = 0, inGap = 0, gapLambda = 0;
    std::uint64_t unpluggedAt = 0, backAt = 0;
    int lost = 0, reopened = 0;
    const Subscription bytes = reader.bytes().subscribe([&](const WidebandBytes& b) {
        rec.recordWideband(b.timeMs, b.data.data(), b.data.size());
    });
    const Subscription counted =
        reader.readings().subscribe([&](const WidebandReading&) { ++readings; });
    const Subscription recording = host.link.samples().subscribe([&](const EngineSample& s) {
        ++samples;
        withLambda += s.widebandLambda.has_value();
        zero += s.widebandLambda && *s.widebandLambda <= 0.0;
        if (unpluggedAt != 0 && backAt == 0 && s.timeMs > unpluggedAt + 300) {
            ++inGap;
            gapLambda += s.widebandLambda.has_value();
        }
        rec.record(s, nowMs());
        rec.flushIfDue(nowMs());
    });
    const int ticks = seconds * 1000 / 55;
    auto next = Clock::now();
    for (int i = 0; i < ticks; ++i) {
        next += std::chrono::milliseconds(55);
        std::this_thread::sleep_until(next);
        QCoreApplication::processEvents();
        host.link.tick();
        const Reconnector::Event e = reader.poll();
        lost += e == Reconnector::Event::Lost;
        if (e == Reconnector::Event::Reconnected) {
            ++reopened;
            backAt = nowMs();
        }
        if (i == ticks / 2) {
            sim.signal(SIGUSR1);
            unpluggedAt = nowMs();
        }
    }
    host.link.tick();
    reader.close();
    host.port.close();
    rec.stop(nowMs());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sim.stop();

    // What the controller sent, reading by reading, against the bytes the log holds.
    std::vector<simtest::LogEntry> sent;
    for (simtest::LogEntry& e : simtest::readLog(sim.file("line.log")))
        if (e.direction == "WB" && !e.bytes.empty()) sent.push_back(std::move(e));
    const WidebandLogResult logged = readWidebandLogFile(rec.widebandLogPath());
    std::vector<std::uint8_t> stream;
    std::vector<std::int64_t> arrival; // of each byte, ms since the log start
    for (const WidebandEntry& e : logged.entries) {
        stream.insert(stream.end(), e.bytes.begin(), e.bytes.end());
        arrival.insert(arrival.end(), e.bytes.size(), e.timeMs);
    }
    // Each reading sent is found whole, in order; its arrival less its sending time stays the
    // same but for the line's and the tick's delays.
    std::size_t at = 0, found = 0, missing = 0;
    std::vector<double> offsets;
    for (const simtest::LogEntry& e : sent) {
        const auto it = std::search(stream.begin() + static_cast<std::ptrdiff_t>(at), stream.end(),
                                    e.bytes.begin(), e.bytes.end());
        if (it == stream.end()) {
            ++missing;
            continue;
        }
        at = static_cast<std::size_t>(it - stream.begin()) + e.bytes.size();
        ++found;
        offsets.push_back(static_cast<double>(arrival[at - 1]) - e.time * 1000.0);
    }
    const double base = percentile(offsets, 0.0);
    for (double& o : offsets) o -= base;
    const LogReadResult r = readMlgFile(rec.logPath());
    std::size_t nanLambda = 0;
    for (std::size_t i = 0; r.ok && i < r.data.records(); ++i)
        nanLambda += std::isnan(r.data.columns[WbLambda][i]);
    std::printf("wideband: %d s, %zu readings sent, %zu found whole in the log (%zu missing), "
                "arrival after sending: median %.0f ms, worst %.0f ms above the least; %zu "
                "readings parsed live; %zu samples, %zu with lambda, %zu with lambda 0; unplugged "
                "%s, reopened %d time(s); %zu samples in the gap, %zu of them with lambda; %zu "
                "records with NaN lambda\n",
                seconds, sent.size(), found, missing, percentile(offsets, 0.5),
                percentile(offsets, 1.0), readings, samples, withLambda, zero,
                lost == 1 ? "once" : "NOT seen", reopened, inGap, gapLambda, nanLambda);
    // The reading on the line when the host closed may be cut off.
    const bool ok = logged.ok && r.ok && !sent.empty() && missing <= 1 && lost == 1 &&
                    reopened == 1 && inGap > 0 && gapLambda == 0 && zero == 0 &&
                    nanLambda >= inGap && withLambda > samples / 2;
    if (!ok) std::printf("wideband: FAILED\n");
    return ok ? 0 : 1;
}

// The child: records engine frames in real time at one per tick until it is killed.
[[noreturn]] void recordUntilKilled(const std::string& base, int pipeFd) {
    Recorder rec;
    const std::uint64_t start = nowMs();
    if (!rec.start(base, 0, "", start)) _exit(3);
    if (write(pipeFd, &start, sizeof start) != sizeof start) _exit(3);
    const Calibration cal = simtest::defaultCalibration(6);
    sim::Engine engine(5);
    MonitorDecoder decoder;
    SampleBuilder samples;
    auto next = Clock::now();
    for (;;) {
        next += std::chrono::milliseconds(55);
        std::this_thread::sleep_until(next);
        const Frame f = engine.nextFrame(0.055, cal, 0);
        decoder.decode(f, MonitorSettings{});
        rec.record(samples.update(f, decoder.values(), cal[AdvanceMax], nowMs(), false), nowMs());
        rec.flushIfDue(nowMs());
    }
}

int killRun(int kills) {
    std::mt19937 random(52);
    int failures = 0;
    double worstAge = 0;
    for (int k = 0; k < kills; ++k) {
        const test::TestDir dir;
        int fds[2];
        if (pipe(fds) != 0) return 1;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            recordUntilKilled(dir.file("killed"), fds[1]);
        }
        close(fds[1]);
        std::uint64_t start = 0;
        const bool started = read(fds[0], &start, sizeof start) == sizeof start;
        close(fds[0]);
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(1500, 4000)(random)));
        const std::uint64_t killedAt = nowMs();
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        const LogReadResult r = readMlgFile(dir.file("killed.mlg"));
        const FrameLogResult frames = readFrameLogFile(dir.file("killed.frames"));
        const double age = r.ok && r.data.records() > 0
                               ? static_cast<double>(killedAt - start) - r.data.time.back() * 1000.0
                               : 1e9;
        worstAge = std::max(worstAge, age);
        const bool ok = started && r.ok && !r.data.truncated && age <= 1000.0 && frames.ok &&
                        frames.frames.size() >= r.data.records();
        std::printf("kill %d: killed after %llu ms, %zu records, last record %.0f ms before the "
                    "kill%s\n",
                    k + 1, static_cast<unsigned long long>(killedAt - start), r.data.records(), age,
                    ok ? "" : "  FAILED");
        failures += ok ? 0 : 1;
    }
    std::printf("kill: %d kills, %d failures, worst age of the last record %.0f ms (bound 1000)\n",
                kills, failures, worstAge);
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "kill" && n > 0) return killRun(n);
    if (mode == "sim" && n > 0) {
        QCoreApplication app(argc, argv);
        return simRun(n);
    }
    if (mode == "wideband" && n > 0) {
        QCoreApplication app(argc, argv);
        return widebandRun(n);
    }
    if (mode == "phases" && n > 0) {
        QCoreApplication app(argc, argv);
        int failures = 0;
        for (int phase = 0; phase < 55; phase += 6) failures += simRun(n, 55, phase, false) != 0;
        failures += simRun(n, 30, 0, false) != 0;
        failures += simRun(n, 25, 13, false) != 0;
        return failures == 0 ? 0 : 1;
    }
    std::fprintf(stderr,
                 "usage: record_check sim SECONDS | phases SECONDS | wideband SECONDS | kill N\n");
    return 2;
}
