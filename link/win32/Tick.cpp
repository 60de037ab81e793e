#include "link/win32/Tick.h"

#include <windows.h>

#include <timeapi.h>

CFineTimer::CFineTimer() {
    (void)timeBeginPeriod(1);
}

CFineTimer::~CFineTimer() {
    (void)timeEndPeriod(1);
}

std::uint32_t CSystemClock::Tick() {
    // 32 bits that wrap about every 49.7 days; only differences mean anything.
    return static_cast<std::uint32_t>(::GetTickCount());
}

void CSystemClock::Sleep(std::uint32_t ms) {
    ::Sleep(ms);
}

CSystemClock& CSystemClock::Instance() {
    static CSystemClock clock;
    return clock;
}

IClock& SystemClock() {
    return CSystemClock::Instance();
}
