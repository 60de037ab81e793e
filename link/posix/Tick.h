// The millisecond tick and the pause: the only clock the link layer uses.
#pragma once

#include <cstdint>

#include "link/Clock.h"

// Milliseconds since an arbitrary start, as an unsigned 32-bit count that wraps
// about every 49.7 days. Only differences of two ticks mean anything.
std::uint32_t GetTickCount();

// The real clock: CLOCK_MONOTONIC.
class CSystemClock : public IClock {
public:
    std::uint32_t Tick() override;
    void Sleep(std::uint32_t ms) override;
    static CSystemClock& Instance();
};
