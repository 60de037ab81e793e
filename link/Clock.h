// The clock the link waits on: a millisecond tick and a pause. The exchange
// and the deadline see only this interface, so tests give them a fake clock;
// the real one (CLOCK_MONOTONIC) lives in link/posix/.
#pragma once

#include <cstdint>

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since an arbitrary start, wrapping at 32 bits; only
    // differences of two ticks mean anything.
    virtual std::uint32_t Tick() = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
};

// The operating system's monotonic clock.
IClock& SystemClock();
