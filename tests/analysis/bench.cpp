// Prints the time the map statistics, the cell table and the thinning of the scatter plot take
// over a day of monitor records (ten a second): the log is written in memory with the data
// log's own writer, read back with its reader and analysed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "analysis/log_samples.h"
#include "analysis/log_table.h"
#include "log/mlg.h"

int main() {
    using namespace velmora;
    using Clock = std::chrono::steady_clock;
    const std::array<int, analysis::MapSize> rpms{1000, 2000,  3000,  4000,  6000,
                                                  8000, 10000, 12000, 14000, 16000};
    constexpr int Records = 24 * 3600 * 10;
    std::string bytes = log::mlgHeader(0, "a day");
    bytes.reserve(bytes.size() + static_cast<std::size_t>(Records) * (log::recordSize() + 8));
    for (int i = 0; i < Records; ++i) {
        log::Record r{};
        const double phase = i * 0.001;
        r[log::Time] = 100LL * i;
        r[log::Rpm] = 1200 + static_cast<int>(7000 * (1 + std::sin(phase)));
        r[log::Tps] = static_cast<int>(50 + 49 * std::sin(phase * 0.37));
        r[log::Lambda] = (i / 7) % 2 == 0 ? 700 : 200;
        r[log::InjectionTime] = 3000;
        r[log::Clt] = 85;
        log::appendRecordBlock(bytes, static_cast<std::uint8_t>(i), r);
    }
    const auto t0 = Clock::now();
    const log::LogReadResult read =
        log::readMlg(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const auto t1 = Clock::now();
    analysis::MapStatistics st;
    const analysis::LogAnalysis a = analysis::analyseLog(read.data, st, rpms);
    const auto t2 = Clock::now();
    const auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    if (!read.ok || !a.ok()) {
        std::printf("the day's log could not be analysed: %s\n", read.error.c_str());
        return 1;
    }
    std::printf("statistics over a 24-hour log (%zu records, %llu counted): read %.0f ms + "
                "statistics %.0f ms = %.0f ms (goal < 1000 ms)\n",
                a.records, static_cast<unsigned long long>(st.samplesCounted()), ms(t1 - t0),
                ms(t2 - t1), ms(t2 - t0));

    // Median and worst of repeated runs.
    const auto timed = [&](int runs, const auto& run) {
        std::vector<double> t;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            run();
            t.push_back(ms(Clock::now() - start));
        }
        std::sort(t.begin(), t.end());
        return std::pair<double, double>{t[t.size() / 2], t.back()};
    };
    const analysis::ChannelView lambda = analysis::channel(read.data, "O2 mV");
    for (const auto& [statistic, name] : {std::pair{analysis::CellStatistic::Mean, "mean"},
                                          std::pair{analysis::CellStatistic::Median, "median"}}) {
        analysis::CellTableOptions o;
        o.bins = analysis::mapBins(rpms);
        o.statistic = statistic;
        std::size_t counted = 0, spans = 0;
        const auto [median, worst] = timed(5, [&] {
            const analysis::CellTable t =
                analysis::cellTable(analysis::cellChannels(read.data, lambda), o);
            counted = t.counted;
            spans = 0;
            for (const analysis::CellResult& c : t.cells) spans += c.spans.size();
        });
        std::printf("cell table (%s of O2 mV) over the day: %zu records in cells, %zu spans: "
                    "median %.0f ms, worst %.0f ms of 5 (goal < 200 ms)\n",
                    name, counted, spans, median, worst);
    }
    {
        // A speed that jitters across a column's edge at every record: a span per record.
        const log::Column& rpm =
            read.data.columns[static_cast<std::size_t>(read.data.fieldIndex("RPM"))];
        std::vector<double> jitter(rpm.begin(), rpm.end());
        for (std::size_t i = 0; i < jitter.size(); i += 2) jitter[i] += 1000.0;
        analysis::CellChannels ch = analysis::cellChannels(read.data, lambda);
        ch.x = jitter;
        analysis::CellTableOptions o;
        o.bins = analysis::mapBins(rpms);
        std::size_t spans = 0;
        const auto [median, worst] = timed(5, [&] {
            spans = 0;
            for (const analysis::CellResult& c : analysis::cellTable(ch, o).cells)
                spans += c.spans.size();
        });
        std::printf("cell table (mean of O2 mV) by a computed speed that jitters across the "
                    "cells: %zu spans: median %.0f ms, worst %.0f ms of 5 (goal < 200 ms)\n",
                    spans, median, worst);
    }
    std::vector<analysis::ScatterPoint> points;
    const auto [pointsMs, pointsWorst] = timed(1, [&] {
        points = analysis::scatterPoints(read.data.time, analysis::channel(read.data, "RPM"),
                                         analysis::channel(read.data, "TPS"), lambda);
    });
    (void)pointsWorst;
    const analysis::ScatterFrame frame{0, 16000, 0, 100, 1200, 800};
    std::size_t shown = 0;
    const auto [thinMs, thinWorst] =
        timed(20, [&] { shown = analysis::decimateScatter(points, frame).size(); });
    std::printf("scatter of the day (%zu points, taken from the log in %.0f ms): thinned to %zu "
                "for 1200 x 800 pixels in median %.1f ms, worst %.1f ms of 20 (goal < 16 ms)\n",
                points.size(), pointsMs, shown, thinMs, thinWorst);

    // Records whose Time stands still: nothing ages out of the statistics' history by time.
    std::string still = log::mlgHeader(0, "time stands still");
    for (int i = 0; i < 160000; ++i) {
        log::Record r{};
        r[log::Time] = 1000;
        r[log::Rpm] = 3000;
        r[log::Tps] = 30;
        r[log::Lambda] = 450;
        r[log::InjectionTime] = 3000;
        r[log::Clt] = 85;
        log::appendRecordBlock(still, static_cast<std::uint8_t>(i), r);
    }
    const log::LogReadResult stillRead =
        log::readMlg(reinterpret_cast<const std::uint8_t*>(still.data()), still.size());
    const auto t3 = Clock::now();
    analysis::MapStatistics stillStats;
    analysis::analyseLog(stillRead.data, stillStats, rpms);
    std::printf("statistics over %zu records whose Time never advances: %.0f ms\n",
                stillRead.data.records(), ms(Clock::now() - t3));

    // A header followed by junk up to just under the size limit, read from a file.
    const char* tmp = std::getenv("TMPDIR");
    const std::string junkPath =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/velmora-junk.mlg";
    {
        std::ofstream out(junkPath, std::ios::binary | std::ios::trunc);
        out << log::mlgHeader(0, "junk");
        const std::string chunk(1u << 20, '\xA5');
        for (std::uint64_t n = 0; n + 2 * chunk.size() < log::MaxLogFileSize; n += chunk.size())
            out << chunk;
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto t4 = Clock::now();
    const log::LogReadResult junk = log::readMlgFile(junkPath);
    const double junkMs = ms(Clock::now() - t4);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    ::unlink(junkPath.c_str());
    std::printf("a log of junk just under 1 GiB: answered in %.0f ms, peak memory %ld MB "
                "(%ld MB before): %s\n",
                junkMs, after.ru_maxrss / 1024, before.ru_maxrss / 1024,
                junk.ok ? "read as a log" : junk.error.c_str());
    return 0;
}
