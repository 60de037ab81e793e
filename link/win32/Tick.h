// The millisecond tick and the pause on Windows: GetTickCount and Sleep.
#pragma once

#include <cstdint>

#include "link/Clock.h"

// The real clock. The 1 ms timer period that its pauses need is asked for
// around each exchange (CFineTimer), not for the program's whole life.
class CSystemClock : public IClock {
public:
    std::uint32_t Tick() override;
    void Sleep(std::uint32_t ms) override;
    static CSystemClock& Instance();
};
