// Prints the time the map statistics take over a day of monitor samples (ten a second).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis/map_stats.h"

int main() {
    using namespace velmora::analysis;
    const std::array<int, MapSize> rpms{1000, 2000,  3000,  4000,  6000,
                                        8000, 10000, 12000, 14000, 16000};
    constexpr int Samples = 24 * 3600 * 10;
    std::vector<EngineSample> day(Samples);
    for (int i = 0; i < Samples; ++i) {
        EngineSample& s = day[static_cast<std::size_t>(i)];
        s.time = i * 0.1;
        const double phase = i * 0.001;
        s.rpm = 1200 + static_cast<int>(7000 * (1 + std::sin(phase)));
        s.throttle = static_cast<int>(50 + 49 * std::sin(phase * 0.37));
        s.lambdaMv = (i / 7) % 2 == 0 ? 700 : 200;
        s.waterC = 85;
        s.injectionUs = 3000;
    }
    MapStatistics st;
    const auto t0 = std::chrono::steady_clock::now();
    for (const EngineSample& s : day) st.add(s, rpms);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf(
        "statistics over a 24-hour log (%d samples, %llu counted): %.1f ms (goal < 1000 ms)\n",
        Samples, static_cast<unsigned long long>(st.samplesCounted()), ms);
    return 0;
}
