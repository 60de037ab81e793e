// Round trip of "03读AI" on a line paced at 9600 baud by k40sim, next to the
// line's own time: 8 request and 23 reply characters of 10 bits, plus the
// simulator's 3.5-character turnaround before it answers. What is left above
// that is the master's overhead (and the wake-up latency of both processes).
//
//   bench_paced [--count N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/BenchTable.h"
#include "bench/ReadMasters.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr double kBaud = 9600.0;
constexpr double kCharMs = 10.0 * 1000.0 / kBaud;
constexpr double kLineMs = (8 + 23) * kCharMs;   // 32.29 ms
constexpr double kTurnaroundMs = 3.5 * kCharMs;  // 3.65 ms
constexpr double kFloorMs = kLineMs + kTurnaroundMs;

}  // namespace

int main(int argc, char** argv) {
    int count = 100;
    if (argc == 3 && std::strcmp(argv[1], "--count") == 0 && std::atoi(argv[2]) > 0) {
        count = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: bench_paced [--count N]\n");
        return 2;
    }
    CSimProcess sim;
    if (!sim.Start({"--quiet", "--static", "--baud", "9600"})) {
        std::fprintf(stderr, "bench_paced: k40sim did not start\n");
        return 1;
    }
    CReadMasters masters(sim.Path());
    CSampleSet ignored;
    CSampleSet link;
    CSampleSet libmodbus;
    if (!masters.LinkBlock(3, ignored) || !masters.LinkBlock(count, link) ||
        !masters.LibmodbusBlock(count, libmodbus)) {
        std::fprintf(stderr, "bench_paced: %s\n", masters.Error().c_str());
        return 1;
    }

    CBenchTable t("3. Round trip of 03读AI on a line paced at 9600 baud; milliseconds",
                  {"master", "exchanges", "median", "p99", "line + turnaround", "overhead median",
                   "overhead p99"});
    auto add = [&](const char* name, const CSampleSet& s) {
        const double median = s.Median() / 1000.0;
        const double p99 = s.Percentile(99) / 1000.0;
        t.AddRow({name, std::to_string(s.Count()), CBenchTable::Number(median, 3),
                  CBenchTable::Number(p99, 3), CBenchTable::Number(kFloorMs, 3),
                  CBenchTable::Number(median - kFloorMs, 3),
                  CBenchTable::Number(p99 - kFloorMs, 3)});
    };
    add("link RunExchange (quiet read)", link);
    add("libmodbus (reference)", libmodbus);
    const double overhead = link.Median() / 1000.0 - kFloorMs;
    t.AddNote("line: 31 characters x 10 bits / 9600 = " + CBenchTable::Number(kLineMs, 3) +
              " ms, turnaround 3.5 characters = " + CBenchTable::Number(kTurnaroundMs, 3) + " ms");
    t.AddNote("link overhead above the line: " + CBenchTable::Number(overhead, 3) + " ms   " +
              CBenchTable::Verdict(overhead < 1.0, "< 1 ms"));
    t.Print();
    return 0;
}
