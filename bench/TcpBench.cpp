// Round trip of "03读AI" (01 03 00 64 00 09, 23-byte reply) through the TCP
// device, as to a unit behind a serial device server, beside the same read on
// a pseudo-terminal in the same run: two simulators without line pacing, one
// listening on loopback TCP, one on a pseudo-terminal, the program's link
// taking turns on the two in alternating blocks so that both see the same load
// on the machine.
//
//   bench_tcp [--count N] [--block B]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/BenchTable.h"
#include "bench/BlockOptions.h"
#include "bench/ReadMasters.h"
#include "bench/Stopwatch.h"
#include "tests/support/SimProcess.h"

namespace {

// One device's side: its simulator and the link's reads of it. COM1 is
// pointed at the device before each block.
struct Side {
    const char* name;
    CSimProcess sim;
    CSampleSet micros;
    double cpuMs = 0.0;

    bool Block(int n, CSampleSet& into, std::string& error) {
        CReadMasters master(sim.Path());  // sets K40_COM1
        const CStopwatch cpu;
        const bool ok = master.LinkBlock(n, into);
        cpuMs += cpu.CpuMilliseconds();
        if (!ok) {
            error = master.Error();
        }
        return ok;
    }
};

}  // namespace

int main(int argc, char** argv) {
    BlockOptions opt;
    if (!ParseBlockOptions(argc, argv, opt)) {
        std::fprintf(stderr, "usage: bench_tcp [--count N] [--block B]\n");
        return 2;
    }
    Side pty{"pseudo-terminal", {}, {}, 0.0};
    Side tcp{"TCP, 127.0.0.1", {}, {}, 0.0};
    if (!pty.sim.Start({"--quiet", "--static"}) ||
        !tcp.sim.Start({"--quiet", "--static", "--listen", "127.0.0.1:0"})) {
        std::fprintf(stderr, "bench_tcp: k40sim did not start\n");
        return 1;
    }
    std::string error;
    CSampleSet ignored;
    if (!pty.Block(opt.warmup, ignored, error) || !tcp.Block(opt.warmup, ignored, error)) {
        std::fprintf(stderr, "bench_tcp: %s\n", error.c_str());
        return 1;
    }
    pty.cpuMs = tcp.cpuMs = 0.0;

    CSampleSet roundRatios;  // TCP / pty of each round's medians
    bool ok = true;
    for (int done = 0, round = 0; ok && done < opt.count; done += opt.block, ++round) {
        const int n = std::min(opt.block, opt.count - done);
        CSampleSet onPty;
        CSampleSet onTcp;
        for (int turn = 0; ok && turn < 2; ++turn) {
            const bool ptyTurn = (turn + round) % 2 == 0;
            ok = ptyTurn ? pty.Block(n, onPty, error) : tcp.Block(n, onTcp, error);
        }
        if (ok) {
            roundRatios.Add(onTcp.Median() / onPty.Median());
            pty.micros.Append(onPty);
            tcp.micros.Append(onTcp);
        }
    }
    if (!ok) {
        std::fprintf(stderr, "bench_tcp: %s\n", error.c_str());
        return 1;
    }

    CBenchTable t(
        "5. Round trip of 03读AI (01 03 00 64 00 09 -> 23 bytes) through the TCP device "
        "and on a pty, k40sim without pacing; microseconds per exchange",
        {"device", "exchanges", "median", "p99", "min", "max", "mean", "cpu us/exchange"});
    for (const Side* s : {&pty, &tcp}) {
        const CSampleSet& m = s->micros;
        t.AddRow({s->name, std::to_string(m.Count()), CBenchTable::Number(m.Median(), 1),
                  CBenchTable::Number(m.Percentile(99), 1), CBenchTable::Number(m.Min(), 1),
                  CBenchTable::Number(m.Max(), 1), CBenchTable::Number(m.Mean(), 1),
                  CBenchTable::Number(s->cpuMs * 1000.0 / static_cast<double>(m.Count()), 1)});
    }
    const double ratio = tcp.micros.Median() / pty.micros.Median();
    t.AddNote("ratio TCP / pty: median " + CBenchTable::Number(ratio, 3) + ", p99 " +
              CBenchTable::Number(tcp.micros.Percentile(99) / pty.micros.Percentile(99), 3) +
              "   " + CBenchTable::Verdict(ratio <= 1.5, "median ratio <= 1.5"));
    t.AddNote("median of the per-round ratios (" + std::to_string(roundRatios.Count()) +
              " rounds of " + std::to_string(opt.block) +
              " exchanges each): " + CBenchTable::Number(roundRatios.Median(), 3));
    t.Print();
    return 0;
}
