// Recording end to end, printing its figures:
//   record_check sim SECONDS  records velmora52-sim at one frame per tick through the link, as
//                             the window does; checks records = valid frames decoded and that
//                             mlg-converter reads the same values; prints the recorder's cost.
//   record_check kill N       kills a recording process N times with SIGKILL; each log must
//                             read, its last record at most 1 s older than the kill.
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

#include "log/frame_log.h"
#include "log/mlg.h"
#include "log/recorder.h"
#include "sim/engine.h"
#include "tests/files/test_dir.h"
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

// Runs tests/tools/mlg_check.js on the log; 0 when it agrees, 77 when node or the package is
// missing (outside CI), 1 otherwise.
int nodeCheck(const std::string& log, const std::vector<Record>& records, std::size_t markers,
              const std::string& dir) {
    const std::string tools = std::string(VELMORA_SOURCE_DIR) + "/tests/tools";
    if (std::system("command -v node >/dev/null 2>&1") != 0 ||
        access((tools + "/node_modules/mlg-converter/package.json").c_str(), R_OK) != 0) {
        std::printf("mlg-converter: not installed (scripts/install-deps.sh installs it)\n");
        return std::getenv("CI") != nullptr ? 1 : 77;
    }
    const std::string expected = dir + "/expected.csv";
    {
        std::ofstream out(expected);
        for (std::size_t c = 0; c < ChannelCount; ++c) out << (c ? "," : "") << channels()[c].name;
        out << "\n";
        char cell[40];
        for (const Record& r : records) {
            for (std::size_t c = 0; c < ChannelCount; ++c) {
                std::snprintf(cell, sizeof cell, "%s%.9g", c ? "," : "",
                              static_cast<double>(r[c]) * static_cast<double>(channels()[c].scale));
                out << cell;
            }
            out << "\n";
        }
    }
    const std::string command = "MLG_MARKERS=" + std::to_string(markers) + " node '" + tools +
                                "/mlg_check.js' '" + log + "' '" + expected + "'";
    std::fflush(stdout);
    return std::system(command.c_str()) == 0 ? 0 : 1;
}

int simRun(int seconds) {
    const test::TestDir dir;
    simtest::SimProcess sim({"--monitor", "tick", "--scenario", "ride", "--speed", "20"});
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
    host.link.onMonitorFrame = [&](const Frame& f) {
        ++decoded;
        const auto t0 = Clock::now();
        const std::uint64_t now = nowMs();
        const bool written = rec.record(f, host.link.monitor().values(), host.cal[AdvanceMax], now);
        rec.flushIfDue(now);
        costUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (written) expected.push_back(rec.last());
        if (decoded % 500 == 0) markers += rec.marker("lap", now) > 0;
    };
    const int ticks = seconds * 1000 / 55;
    host.runTicks(ticks);
    rec.stop(nowMs());
    const LogReadResult r = readMlgFile(rec.logPath());
    const FrameLogResult frames = readFrameLogFile(rec.frameLogPath());
    // The first frames wait until every frame kind has arrived once.
    const std::size_t waiting = rec.framesWaiting();
    const std::size_t lost = decoded - std::min<std::size_t>(decoded, r.data.records() + waiting);
    std::printf("record: %d s at one frame per tick (%d ticks): %zu valid frames decoded, %zu "
                "records written, %zu frames in the frame log, %zu lost, %zu markers\n",
                seconds, ticks, decoded, r.data.records(), frames.frames.size(), lost, markers);
    std::printf("record: recorder cost per record, flush included: median %.1f us, 99th "
                "percentile %.1f us, worst %.1f us\n",
                percentile(costUs, 0.5), percentile(costUs, 0.99), percentile(costUs, 1.0));
    // How many frames reach the decoder depends on the line and the machine's load; what is
    // checked is that every one of them is recorded.
    bool ok = r.ok && !r.data.truncated && decoded > 0 && waiting < 3 &&
              r.data.records() + waiting == decoded && frames.frames.size() == r.data.records();
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
    const int node = nodeCheck(rec.logPath(), expected, markers, dir.path());
    sim.stop();
    return node;
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
    MonitorSettings settings;
    auto next = Clock::now();
    for (;;) {
        next += std::chrono::milliseconds(55);
        std::this_thread::sleep_until(next);
        const Frame f = engine.nextFrame(0.055, cal, 0);
        decoder.decode(f, settings);
        rec.record(f, decoder.values(), cal[AdvanceMax], nowMs());
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
    std::fprintf(stderr, "usage: record_check sim SECONDS | kill N\n");
    return 2;
}
