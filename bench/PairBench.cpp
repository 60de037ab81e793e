#include "bench/PairBench.h"

#include <algorithm>
#include <cstdio>

#include "bench/BenchTable.h"
#include "bench/BlockOptions.h"
#include "bench/CpuPinning.h"
#include "bench/ReadMasters.h"
#include "bench/Stopwatch.h"
#include "tests/support/SimProcess.h"

namespace {

// One device's side: its simulator and the link's reads of it. COM1 is
// pointed at the device before each block.
struct Side {
    PairSide what;  // its name and the simulator's arguments
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

// Alternating blocks, the first side first in even rounds; the ratio of
// each round's medians is added to roundRatios.
bool Interleave(const BlockOptions& opt, Side& a, Side& b, CSampleSet& roundRatios,
                std::string& error) {
    for (int done = 0, round = 0; done < opt.count; done += opt.block, ++round) {
        const int n = std::min(opt.block, opt.count - done);
        CSampleSet onA;
        CSampleSet onB;
        for (int turn = 0; turn < 2; ++turn) {
            const bool aTurn = (turn + round) % 2 == 0;
            if (!(aTurn ? a.Block(n, onA, error) : b.Block(n, onB, error))) {
                return false;
            }
        }
        roundRatios.Add(onB.Median() / onA.Median());
        a.micros.Append(onA);
        b.micros.Append(onB);
    }
    return true;
}

}  // namespace

int RunPairBench(int argc, char** argv, const char* program, PairSide first, PairSide second,
                 const PairGoal& goal) {
    BlockOptions opt;
    if (!ParseBlockOptions(argc, argv, opt)) {
        std::fprintf(stderr, "usage: %s [--count N] [--block B]\n", program);
        return 2;
    }
    Side a{std::move(first), {}, {}, 0.0};
    Side b{std::move(second), {}, {}, 0.0};
    if (!a.sim.Start(a.what.args) || !b.sim.Start(b.what.args)) {
        std::fprintf(stderr, "%s: k40sim did not start\n", program);
        return 1;
    }
    const std::string placement = PinMasterAndSimulators({a.sim.Pid(), b.sim.Pid()});
    std::string error;
    CSampleSet ignored;
    CSampleSet roundRatios;  // second / first of each round's medians
    if (!a.Block(opt.warmup, ignored, error) || !b.Block(opt.warmup, ignored, error) ||
        (a.cpuMs = b.cpuMs = 0.0, !Interleave(opt, a, b, roundRatios, error))) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return 1;
    }
    CBenchTable t(goal.title,
                  {"device", "exchanges", "median", "p99", "min", "max", "mean", "cpu us/exchange"});
    for (const Side* s : {&a, &b}) {
        const CSampleSet& m = s->micros;
        t.AddRow({s->what.name, std::to_string(m.Count()), CBenchTable::Number(m.Median(), 1),
                  CBenchTable::Number(m.Percentile(99), 1), CBenchTable::Number(m.Min(), 1),
                  CBenchTable::Number(m.Max(), 1), CBenchTable::Number(m.Mean(), 1),
                  CBenchTable::Number(s->cpuMs * 1000.0 / static_cast<double>(m.Count()), 1)});
    }
    const double ratio = b.micros.Median() / a.micros.Median();
    t.AddNote("ratio " + goal.ratio + ": median " + CBenchTable::Number(ratio, 3) + ", p99 " +
              CBenchTable::Number(b.micros.Percentile(99) / a.micros.Percentile(99), 3) + "   " +
              CBenchTable::Verdict(ratio <= goal.maxRatio,
                                   "median ratio <= " + CBenchTable::Number(goal.maxRatio, 1)));
    t.AddNote("median of the per-round ratios (" + std::to_string(roundRatios.Count()) +
              " rounds of " + std::to_string(opt.block) +
              " exchanges each): " + CBenchTable::Number(roundRatios.Median(), 3));
    t.AddNote(placement);
    t.Print();
    return 0;
}
