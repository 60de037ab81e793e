// A time limit on the millisecond tick. Elapsed time is the unsigned 32-bit
// difference of two ticks, so a wrap of the counter neither ends nor lengthens
// the wait.
#pragma once

#include <cstdint>

#include "link/Clock.h"

class CDeadline {
public:
    CDeadline(IClock& clock, std::uint32_t waitMs)
        : m_clock(clock), m_nStart(clock.Tick()), m_nWait(waitMs) {}

    std::uint32_t Elapsed() const { return m_clock.Tick() - m_nStart; }
    bool Expired() const { return Elapsed() >= m_nWait; }
    std::uint32_t Remaining() const {
        const std::uint32_t e = Elapsed();
        return e >= m_nWait ? 0u : m_nWait - e;
    }

private:
    IClock& m_clock;
    std::uint32_t m_nStart;
    std::uint32_t m_nWait;
};
