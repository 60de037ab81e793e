// The simulator's one source of chance: the drift of the measurements and the
// choice of faults. It is a SplitMix64 sequence, fully defined by its seed, so
// that a run with the same seed and the same requests does exactly the same
// thing on every machine (the distributions of <random> are not portable).
#pragma once

#include <cstdint>

class CSimRandom {
public:
    explicit CSimRandom(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t Next();
    // Uniform in [0, n); 0 when n is 0.
    std::uint32_t Below(std::uint32_t n);
    // Uniform in [lo, hi], both included.
    std::uint32_t Between(std::uint32_t lo, std::uint32_t hi);
    // True in percent of the calls (0: never, 100 and more: always).
    bool Chance(int percent);
    // Uniform in [0, 1).
    double Unit();

private:
    std::uint64_t m_state;
};
