// Closed loop: the simulated engine, whose hidden fuel requirement differs from the programmed
// map in a smooth pattern, rides the ride scenario faster than real time with a wide-band
// controller sending MTS; its bytes go through the tuner's parser and join, the samples through
// the monitor decoder, and after each pass the wide-band suggestions are applied and the map
// "programmed" (handed to the engine). Prints, per pass, how close the visited cells came to
// the requirement, the measured transport delay against the simulator's, and the same for the
// narrow-band helper on the rows it may touch.
//   closed_loop_bench [minutes per pass] [passes]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "analysis/map_stats.h"
#include "analysis/wideband_correction.h"
#include "link/engine_sample.h"
#include "link/monitor.h"
#include "link/wideband.h"
#include "link/wideband_join.h"
#include "model/calibration.h"
#include "sim/engine.h"
#include "tests/common/calibrations.h"

using namespace velmora;
using namespace velmora::analysis;

namespace {

constexpr double FrameS = 0.1;       // the unit's monitor period
constexpr double ReadingS = 0.08192; // an MTS controller's period
constexpr std::uint64_t Seed = 7;

// The simulated unit and controller, with the tuner's decoding of both.
struct Rig {
    Calibration cal;
    sim::Engine engine;
    MonitorDecoder decoder;
    SampleBuilder builder;
    WidebandParser parser{WidebandProtocol::InnovateMts};
    WidebandJoin join;
    double t = 0.0, nextFrame = FrameS, nextReading = ReadingS;
    int kind = 0;
    std::uint16_t frames = 0;

    Rig(const Calibration& c, const sim::FuelRequirement& need) : cal(c), engine(Seed, 85.0, true) {
        engine.setRequirement(need);
        join.setConnected(true);
    }

    template <class F> void ride(double seconds, F&& onSample) {
        const double end = t + seconds;
        std::vector<WidebandReading> readings;
        while (t < end) {
            const double next = std::min(nextFrame, nextReading);
            engine.step(next - t, cal);
            t = next;
            const auto ms = static_cast<std::uint64_t>(std::llround(t * 1000.0));
            if (nextReading <= t) {
                nextReading += ReadingS;
                // The controller sends what its sensor sees; a parser refuses free air.
                const auto bytes = encodeWideband(WidebandProtocol::InnovateMts, WidebandState::Ok,
                                                  engine.sensorLambda());
                readings.clear();
                parser.feed(bytes.data(), bytes.size(), ms, readings);
                for (const auto& r : readings) join.add(r);
            }
            if (nextFrame <= t) {
                nextFrame += FrameS;
                const Frame f = engine.frame(kind, cal, 0);
                kind = (kind + 1) % 3;
                MonitorSettings ms2;
                ms2.advanceMax = cal[AdvanceMax];
                if (!decoder.decode(f, ms2)) continue;
                EngineSample s = builder.update(f, decoder.values(), cal[AdvanceMax], ms, false);
                if (!s.complete()) continue;
                join.join(s);
                onSample(s);
            }
        }
    }
};

MapCells mapOf(const Calibration& cal) {
    MapCells m{};
    for (int i = 0; i < 100; ++i) m[static_cast<std::size_t>(i)] = cal[jetCell(i / 10, i % 10)];
    return m;
}

// The map value at which the warm engine's lambda at the node equals `target`: the engine
// runs at requirement over map.
struct Ideal {
    std::array<double, 100> cells{};
};

Ideal idealMap(const sim::FuelRequirement& need, const TargetTable& t) {
    Ideal ideal;
    for (std::size_t r = 0; r < MapSize; ++r)
        for (std::size_t c = 0; c < MapSize; ++c)
            ideal.cells[r * MapSize + c] = need.cells[r * MapSize + c] / t[r][c];
    return ideal;
}

struct PassFigures {
    int visited = 0, within = 0, movedAway = 0;
    double worst = 0.0, worstAway = 0.0;
};

// Compares the visited cells with the ideal after a pass that moved the map from `before`.
PassFigures figures(const std::vector<bool>& visited, const MapCells& before, const MapCells& after,
                    const Ideal& ideal, double band) {
    PassFigures f;
    for (std::size_t i = 0; i < 100; ++i) {
        if (!visited[i]) continue;
        ++f.visited;
        const double err = 100.0 * (after[i] - ideal.cells[i]) / ideal.cells[i];
        const double was = 100.0 * (before[i] - ideal.cells[i]) / ideal.cells[i];
        if (std::fabs(err) <= band) ++f.within;
        f.worst = std::max(f.worst, std::fabs(err));
        // Away by more than a whole unit of the cell (the rounding) and the reading noise.
        const double away = std::fabs(err) - std::fabs(was);
        if (away > 100.0 / ideal.cells[i] + 0.5) {
            ++f.movedAway;
            f.worstAway = std::max(f.worstAway, away);
        }
    }
    return f;
}

} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 12.0;
    const int passes = argc > 2 ? std::atoi(argv[2]) : 3;
    if (minutes <= 0.0 || passes <= 0) {
        std::fprintf(stderr, "usage: closed_loop_bench [minutes per pass] [passes]\n");
        return 2;
    }
    const Calibration start = common::clampedDefaultsOf(6);
    const sim::FuelRequirement need = sim::requirementFromSeed(Seed, start, 20.0);
    const TargetTable targets = defaultTargets();
    std::printf("closed loop: %g simulated minutes per pass, requirement within +-20 %% of the "
                "map, MTS controller\n",
                minutes);

    // Wide-band: bounds wide enough for a 20 % error in three passes.
    CorrectionSettings cs;
    cs.maxStepPercent = 25.0;
    cs.maxTotalPercent = 40.0;
    cs.accelerationThreshold = start[AKCEL_PRAH] * 10;
    Calibration programmed = start;
    const Ideal ideal = idealMap(need, targets);
    const LockGrid noLocks{};
    const MapCells sessionStart = mapOf(start);
    bool goal = true, delayGoal = true;
    {
        std::vector<bool> visited(100, false);
        const PassFigures f0 =
            figures(std::vector<bool>(100, true), sessionStart, sessionStart, ideal, 2.0);
        std::printf("  before:  within +-2 %% %3d of 100 cells, worst %5.1f %%\n", f0.within,
                    f0.worst);
    }
    for (int pass = 1; pass <= passes; ++pass) {
        WidebandCorrection corr(cs);
        Rig rig(programmed, need); // the same route again, warm, on the map programmed now
        rig.ride(minutes * 60.0, [&](const EngineSample& s) { corr.add(s, rpmAxis(programmed)); });
        const MapCells before = mapOf(programmed);
        const CorrectionGrid g = corr.suggest(before, sessionStart, targets, noLocks);
        std::vector<bool> visited(100, false), covered(100, false);
        for (std::size_t r = 0; r < MapSize; ++r)
            for (std::size_t c = 0; c < MapSize; ++c) {
                const CellCorrection& cell = g[r][c];
                visited[r * MapSize + c] = cell.samples >= cs.minSamples;
                // Enough readings near the cell itself (a mean bilinear weight of a quarter, as
                // readings spread evenly around it have): readings that only pass between
                // cells measure a blend that a neighbour can satisfy as well.
                covered[r * MapSize + c] =
                    visited[r * MapSize + c] && cell.samples >= 0.25 * cell.readings;
                if (cell.reason == CellReason::Suggested)
                    programmed[jetCell(static_cast<int>(r), static_cast<int>(c))] =
                        static_cast<std::uint8_t>(cell.value);
            }
        const PassFigures f = figures(covered, before, mapOf(programmed), ideal, 2.0);
        const PassFigures all = figures(visited, before, mapOf(programmed), ideal, 2.0);
        const Exclusions e = corr.exclusions();
        std::printf("  pass %d:  %3d cells covered: within +-2 %% %5.1f %%, worst %5.1f %%, "
                    "moved away %d (worst %.1f %%); readings %llu, used %llu\n",
                    pass, f.visited, f.visited ? 100.0 * f.within / f.visited : 0.0, f.worst,
                    f.movedAway, f.worstAway, static_cast<unsigned long long>(e.readings),
                    static_cast<unsigned long long>(e.used));
        std::printf("           %3d cells with %g weighted readings or more: within +-2 %% %5.1f "
                    "%%, worst %5.1f %%, moved away %d\n",
                    all.visited, cs.minSamples,
                    all.visited ? 100.0 * all.within / all.visited : 0.0, all.worst, all.movedAway);
        if (f.movedAway > 0 || all.movedAway > 0) goal = false;
        if (pass == passes && f.within != f.visited) goal = false;
        if (pass == 1) {
            for (const DelayBand& b : corr.delays()) {
                const double simMs = rig.engine.transportDelay(b.atRpm) * 1000.0;
                if (b.seconds && std::fabs(*b.seconds * 1000.0 - simMs) > 25.0) delayGoal = false;
                if (b.seconds)
                    std::printf("    delay %5d..%5d rpm: measured %5.1f ms at %d rpm, simulator "
                                "%5.1f ms, off %5.1f ms (%d steps)\n",
                                b.fromRpm, b.toRpm, *b.seconds * 1000.0, b.atRpm, simMs,
                                *b.seconds * 1000.0 - simMs, b.steps);
                else
                    std::printf("    delay %5d..%5d rpm: not measured (%d steps)\n", b.fromRpm,
                                b.toRpm, b.steps);
            }
        }
    }

    // What the map window pays to bring the figures up to date during an hour of riding: the
    // first time over the whole hour, then after each further second of samples.
    {
        using Clock = std::chrono::steady_clock;
        WidebandCorrection hour(cs);
        Rig rig(programmed, need);
        rig.ride(3600.0, [&](const EngineSample& s) { hour.add(s, rpmAxis(programmed)); });
        const auto update = [&] {
            const auto t0 = Clock::now();
            hour.delays();
            hour.suggest(mapOf(programmed), sessionStart, targets, noLocks);
            return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        };
        const double first = update();
        std::vector<double> later;
        for (int i = 0; i < 10; ++i) {
            rig.ride(1.0, [&](const EngineSample& s) { hour.add(s, rpmAxis(programmed)); });
            later.push_back(update());
        }
        std::sort(later.begin(), later.end());
        std::printf("  an hour of samples (%zu): delays and suggestions %.0f ms the first time, "
                    "then %.0f ms (median, worst %.0f ms) after each further second\n",
                    hour.samplesSeen(), first, later[later.size() / 2], later.back());
    }

    // Narrow-band helper on the rows it may touch, target lambda 1.
    TargetTable stoich{};
    for (auto& row : stoich) row.fill(1.0);
    const Ideal idealNb = idealMap(need, stoich);
    Calibration nbProgrammed = start;
    StatsSettings ss;
    int wrong = 0;
    for (int pass = 1; pass <= passes; ++pass) {
        MapStatistics stats(ss);
        Rig nb(nbProgrammed, need);
        nb.ride(minutes * 60.0,
                [&](const EngineSample& s) { stats.add(s, rpmAxis(nbProgrammed)); });
        const MapCells before = mapOf(nbProgrammed);
        const SuggestionGrid g = suggest(stats.cells(), before, ss);
        std::vector<bool> visited(100, false);
        for (std::size_t r = 0; r <= static_cast<std::size_t>(ss.lastHelperRow); ++r)
            for (std::size_t c = 0; c < MapSize; ++c) {
                const std::size_t i = r * MapSize + c;
                visited[i] = stats.cells()[r][c].samples >= ss.minSamples;
                const CellSuggestion& s = g[r][c];
                if (s.kind != Suggestion::MoreFuel && s.kind != Suggestion::LessFuel) continue;
                if ((s.value - before[i]) * (idealNb.cells[i] - before[i]) < 0) ++wrong;
                nbProgrammed[jetCell(static_cast<int>(r), static_cast<int>(c))] =
                    static_cast<std::uint8_t>(s.value);
            }
        const PassFigures f = figures(visited, before, mapOf(nbProgrammed), idealNb, 5.0);
        std::printf(
            "  narrow-band pass %d: %3d cells of rows 0-6 with enough samples, within +-5 %% %5.1f "
            "%%, worst %5.1f %%, wrong direction so far %d\n",
            pass, f.visited, f.visited ? 100.0 * f.within / f.visited : 0.0, f.worst, wrong);
    }
    std::printf("wide-band goal (every covered cell within +-2 %% after %d passes, no cell moved "
                "away): %s\n",
                passes, goal ? "met" : "NOT met");
    std::printf("delay goal (every measured band within 25 ms of the simulator): %s\n",
                delayGoal ? "met" : "NOT met");
    return 0;
}
