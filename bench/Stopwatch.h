// Wall-clock and processor time of a stretch of code: the wall time on the
// monotonic clock, the processor time (user + system) from getrusage, for the
// whole process or for the calling thread only.
#pragma once

#include <chrono>

class CStopwatch {
public:
    enum class Scope { Process, Thread };

    explicit CStopwatch(Scope scope = Scope::Process);
    void Restart();

    double WallMicroseconds() const;
    double WallMilliseconds() const { return WallMicroseconds() / 1000.0; }
    // Processor time since the start, user and system together.
    double CpuMilliseconds() const;

    static double CpuSecondsNow(Scope scope);

private:
    Scope m_scope;
    std::chrono::steady_clock::time_point m_wallStart;
    double m_cpuStart = 0.0;
};
