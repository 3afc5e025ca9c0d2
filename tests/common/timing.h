// The timing table of the benchmarks: median and worst of several runs of one operation.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace velmora::common {

// Runs f(0) … f(runs - 1) and prints one line for them under `what`.
template <class F> void reportTimes(const char* what, int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f(i);
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                        .count());
    }
    std::sort(t.begin(), t.end());
    std::printf("%-52s median %8.3f ms  max %8.3f ms  (%d runs)\n", what, t[t.size() / 2], t.back(),
                runs);
}

} // namespace velmora::common
