// Round trip of "03读AI" (01 03 00 64 00 09, 23-byte reply) against k40sim on a
// pseudo-terminal without line pacing: the program's link against libmodbus,
// in alternating blocks so that both see the same load on the machine.
//
//   bench_roundtrip [--count N] [--block B]
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

int main(int argc, char** argv) {
    BlockOptions opt;
    if (!ParseBlockOptions(argc, argv, opt)) {
        std::fprintf(stderr, "usage: bench_roundtrip [--count N] [--block B]\n");
        return 2;
    }
    CSimProcess sim;
    if (!sim.Start({"--quiet", "--static"})) {
        std::fprintf(stderr, "bench_roundtrip: k40sim did not start\n");
        return 1;
    }
    CReadMasters masters(sim.Path());
    CSampleSet ignored;
    if (!masters.LinkBlock(opt.warmup, ignored) || !masters.LibmodbusBlock(opt.warmup, ignored)) {
        std::fprintf(stderr, "bench_roundtrip: %s\n", masters.Error().c_str());
        return 1;
    }

    CSampleSet link;
    CSampleSet libmodbus;
    link.Reserve(static_cast<std::size_t>(opt.count));
    libmodbus.Reserve(static_cast<std::size_t>(opt.count));
    double linkCpuMs = 0.0;
    double libmodbusCpuMs = 0.0;
    // The ratio of the two medians of each round: neighbours in time share the
    // machine's load, so the median of these ratios is the steadier figure
    // when other work comes and goes.
    CSampleSet roundRatios;
    bool ok = true;
    // Alternating blocks, and alternating which master goes first in a round.
    for (int done = 0, round = 0; ok && done < opt.count; done += opt.block, ++round) {
        const int n = std::min(opt.block, opt.count - done);
        CSampleSet mine;
        CSampleSet theirs;
        for (int turn = 0; ok && turn < 2; ++turn) {
            const bool ours = (turn + round) % 2 == 0;
            const CStopwatch cpu;
            ok = ours ? masters.LinkBlock(n, mine) : masters.LibmodbusBlock(n, theirs);
            (ours ? linkCpuMs : libmodbusCpuMs) += cpu.CpuMilliseconds();
        }
        if (ok) {
            roundRatios.Add(mine.Median() / theirs.Median());
            link.Append(mine);
            libmodbus.Append(theirs);
        }
    }
    if (!ok) {
        std::fprintf(stderr, "bench_roundtrip: %s\n", masters.Error().c_str());
        return 1;
    }
    const bool same = masters.LinkRegisters() == masters.LibmodbusRegisters();

    CBenchTable t(
        "1. Round trip of 03读AI (01 03 00 64 00 09 -> 23 bytes), k40sim on a pty, "
        "no pacing; microseconds per exchange",
        {"master", "exchanges", "median", "p99", "min", "max", "mean", "cpu us/exchange"});
    auto add = [&](const char* name, const CSampleSet& s, double cpuMs) {
        t.AddRow({name, std::to_string(s.Count()), CBenchTable::Number(s.Median(), 1),
                  CBenchTable::Number(s.Percentile(99), 1), CBenchTable::Number(s.Min(), 1),
                  CBenchTable::Number(s.Max(), 1), CBenchTable::Number(s.Mean(), 1),
                  CBenchTable::Number(cpuMs * 1000.0 / static_cast<double>(s.Count()), 1)});
    };
    add("link RunExchange (quiet read)", link, linkCpuMs);
    add("libmodbus modbus_read_registers", libmodbus, libmodbusCpuMs);
    const double ratio = link.Median() / libmodbus.Median();
    const double ratio99 = link.Percentile(99) / libmodbus.Percentile(99);
    t.AddNote("ratio link / libmodbus: median " + CBenchTable::Number(ratio, 3) + ", p99 " +
              CBenchTable::Number(ratio99, 3) + "   " +
              CBenchTable::Verdict(ratio <= 1.0, "median ratio <= 1.0"));
    t.AddNote("median of the per-round ratios (" + std::to_string(roundRatios.Count()) +
              " rounds of " + std::to_string(opt.block) +
              " exchanges each): " + CBenchTable::Number(roundRatios.Median(), 3) +
              ", minimum times: " + CBenchTable::Number(link.Min() / libmodbus.Min(), 3));
    t.AddNote(std::string("registers read by both masters ") + (same ? "agree" : "DIFFER"));
    t.Print();
    return same ? 0 : 1;
}
