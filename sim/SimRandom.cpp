#include "sim/SimRandom.h"

std::uint64_t CSimRandom::Next() {
    // SplitMix64 (Steele, Lea, Flood 2014): one add and a mixing function.
    m_state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t CSimRandom::Below(std::uint32_t n) {
    if (n == 0) {
        return 0;
    }
    // The high 32 bits times n, shifted: no modulo bias worth the name for the
    // small ranges used here, and no division.
    return static_cast<std::uint32_t>(((Next() >> 32) * n) >> 32);
}

std::uint32_t CSimRandom::Between(std::uint32_t lo, std::uint32_t hi) {
    if (hi <= lo) {
        return lo;
    }
    return lo + Below(hi - lo + 1);
}

bool CSimRandom::Chance(int percent) {
    // Always draws, so that the sequence does not depend on the percentage.
    const std::uint32_t roll = Below(100);
    return static_cast<int>(roll) < percent;
}

double CSimRandom::Unit() {
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);  // 2^-53
}
