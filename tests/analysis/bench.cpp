// Prints the time the map statistics take over a day of monitor records (ten a second): the
// log is written in memory with the data log's own writer, read back with its reader and
// analysed.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "analysis/log_samples.h"
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
    return 0;
}
