#include "bench/Stopwatch.h"

#include <sys/resource.h>

namespace {

double Seconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

}  // namespace

CStopwatch::CStopwatch(Scope scope) : m_scope(scope) {
    Restart();
}

void CStopwatch::Restart() {
    m_cpuStart = CpuSecondsNow(m_scope);
    m_wallStart = std::chrono::steady_clock::now();
}

double CStopwatch::WallMicroseconds() const {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - m_wallStart)
        .count();
}

double CStopwatch::CpuMilliseconds() const {
    return (CpuSecondsNow(m_scope) - m_cpuStart) * 1000.0;
}

double CStopwatch::CpuSecondsNow(Scope scope) {
    rusage ru{};
    getrusage(scope == Scope::Thread ? RUSAGE_THREAD : RUSAGE_SELF, &ru);
    return Seconds(ru.ru_utime) + Seconds(ru.ru_stime);
}
