// What waiting costs: the processor time (user + system, getrusage of this
// process) that one exchange uses while it waits 1500 ms for a reply that
// never comes: from a silent simulator, on a port that was never opened, and
// (for comparison) on a port whose other end has gone away.
//
//   bench_wait [--runs N]
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/BenchTable.h"
#include "bench/SampleSet.h"
#include "bench/Stopwatch.h"
#include "link/Exchange.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr std::uint32_t kWaitMs = 1500;
constexpr double kGoalShare = 0.02;  // of the wait

struct Figures {
    CSampleSet wallMs;
    CSampleSet cpuMs;
    int timeouts = 0;
};

// One exchange on comm, measured; counts it when it timed out as it should.
void Measure(CModbusComm& comm, Figures& f) {
    const CStopwatch watch;
    const ExchangeResult r = RunExchange(comm, ExchangeVariant::QuietRead, 0x03, 100, 9, nullptr);
    f.cpuMs.Add(watch.CpuMilliseconds());
    f.wallMs.Add(watch.WallMilliseconds());
    f.timeouts += r.outcome == ExchangeOutcome::Timeout ? 1 : 0;
}

bool OpenOn(CModbusComm& comm, const std::string& path) {
    setenv("K40_COM1", path.c_str(), 1);
    comm.m_nPort = 0;
    comm.m_nWaitTime = kWaitMs;
    return comm.InitPort() == 1;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    if (argc == 3 && std::strcmp(argv[1], "--runs") == 0 && std::atoi(argv[2]) > 0) {
        runs = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: bench_wait [--runs N]\n");
        return 2;
    }

    Figures silent;
    {
        CSimProcess sim;
        CModbusComm comm;
        if (!sim.Start({"--quiet", "--fault", "silent"}) || !OpenOn(comm, sim.Path())) {
            std::fprintf(stderr, "bench_wait: no silent simulator\n");
            return 1;
        }
        for (int i = 0; i < runs; ++i) {
            Measure(comm, silent);
        }
    }
    Figures closed;
    {
        CModbusComm comm;  // never opened
        comm.m_nWaitTime = kWaitMs;
        for (int i = 0; i < runs; ++i) {
            Measure(comm, closed);
        }
    }
    Figures gone;
    {
        CSimProcess sim;
        CModbusComm comm;
        if (!sim.Start({"--quiet"}) || !OpenOn(comm, sim.Path())) {
            std::fprintf(stderr, "bench_wait: no simulator\n");
            return 1;
        }
        (void)kill(sim.Pid(), SIGKILL);  // its end of the pty closes: ours is hung up
        (void)sim.Stop();
        for (int i = 0; i < runs; ++i) {
            Measure(comm, gone);
        }
    }

    CBenchTable t("2. Waiting cost of one exchange that times out after 1500 ms; milliseconds",
                  {"port", "runs", "time-outs", "wall median", "cpu median", "cpu max",
                   "cpu max / wait %", "verdict"});
    bool allMet = true;
    auto add = [&](const char* name, const Figures& f, bool goal) {
        const double share = f.cpuMs.Max() / kWaitMs;
        const bool met = share < kGoalShare && f.timeouts == static_cast<int>(f.cpuMs.Count());
        allMet = allMet && (met || !goal);
        t.AddRow({name, std::to_string(f.cpuMs.Count()), std::to_string(f.timeouts),
                  CBenchTable::Number(f.wallMs.Median(), 1),
                  CBenchTable::Number(f.cpuMs.Median(), 3), CBenchTable::Number(f.cpuMs.Max(), 3),
                  CBenchTable::Number(100.0 * share, 3),
                  goal ? CBenchTable::Verdict(met, "< 2 %, 30 ms") : "(no goal)"});
    };
    add("silent simulator (--fault silent)", silent, true);
    add("closed port (never opened)", closed, true);
    add("hung-up port (simulator killed)", gone, false);
    t.AddNote(std::string("both goals ") + (allMet ? "met" : "NOT met"));
    t.Print();
    return 0;
}
