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

// While one lives, the system's timers run to the millisecond: Windows
// otherwise rounds every wait up to its 15.6 ms tick, which the write's drain
// poll would pay on every frame. Held only around an exchange, since a finer
// tick costs battery for the whole system (nothing to do on Linux).
class CFineTimer {
public:
    CFineTimer();
    ~CFineTimer();
    CFineTimer(const CFineTimer&) = delete;
    CFineTimer& operator=(const CFineTimer&) = delete;
};
