// The millisecond tick and the pause on Windows: GetTickCount and Sleep.
#pragma once

#include <cstdint>

#include "link/Clock.h"

// The real clock. Asks the system for a 1 ms timer period while the program
// runs (timeBeginPeriod): Windows otherwise rounds every Sleep up to its
// 15.6 ms tick, which the write's drain poll would pay on every frame.
class CSystemClock : public IClock {
public:
    CSystemClock();
    ~CSystemClock() override;
    std::uint32_t Tick() override;
    void Sleep(std::uint32_t ms) override;
    static CSystemClock& Instance();
};
