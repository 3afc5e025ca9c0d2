// A small deterministic generator (SplitMix64): the same seed gives the same sequence on
// every platform and standard library, which the engine model and fault injection rely on.
#pragma once

#include <cstdint>

namespace velmora::sim {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

    // Uniform in [lo, hi).
    double between(double lo, double hi) { return lo + (hi - lo) * uniform(); }

    bool chance(double probability) { return probability > 0.0 && uniform() < probability; }

private:
    std::uint64_t state_;
};

} // namespace velmora::sim
