// What waiting costs on Windows: the processor time (GetProcessTimes, user +
// kernel) of one exchange that waits 1500 ms for a reply that never comes, on
// a COM port whose other end is a silent simulator. Run under Wine by
// bench/wine_bench.py, which maps the port.
//
//   bench_wait_win32 COMn [RUNS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/Exchange.h"
#include "link/NamedPort.h"

namespace {

constexpr std::uint32_t kWaitMs = 1500;

double CpuMs() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns units
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_wait_win32 COMn [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    CNamedPort port(argv[1]);
    CModbusComm comm(port);
    comm.m_nWaitTime = kWaitMs;
    if (comm.InitPort() != 1) {
        std::fprintf(stderr, "bench_wait_win32: cannot open %s\n", argv[1]);
        return 1;
    }
    double worst = 0.0;
    int timeouts = 0;
    for (int i = 0; i < runs; ++i) {
        const double cpu = CpuMs();
        const DWORD wall = GetTickCount();
        const ExchangeResult r =
            RunExchange(comm, ExchangeVariant::QuietRead, 0x03, 100, 9, nullptr);
        const double used = CpuMs() - cpu;
        worst = used > worst ? used : worst;
        timeouts += r.outcome == ExchangeOutcome::Timeout ? 1 : 0;
        std::printf("run %d: wall %lu ms, cpu %.1f ms\n", i + 1, GetTickCount() - wall, used);
    }
    std::printf("worst cpu %.1f ms of %u ms (%.2f %%), %d/%d time-outs\n", worst, kWaitMs,
                100.0 * worst / kWaitMs, timeouts, runs);
    return timeouts == runs ? 0 : 1;
}
