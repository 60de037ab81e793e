#include "link/posix/Tick.h"

#include <cerrno>
#include <ctime>

std::uint32_t GetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Truncating to 32 bits is the point: the count wraps like the original tick.
    const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

std::uint32_t CSystemClock::Tick() {
    return GetTickCount();
}

void CSystemClock::Sleep(std::uint32_t ms) {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

CSystemClock& CSystemClock::Instance() {
    static CSystemClock clock;
    return clock;
}

IClock& SystemClock() {
    return CSystemClock::Instance();
}

// Linux timers are fine already.
CFineTimer::CFineTimer() = default;
CFineTimer::~CFineTimer() = default;
