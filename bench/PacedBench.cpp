// Round trip of "03读AI" on a line paced at 9600 baud by k40sim, next to the
// line's own time: 8 request and 23 reply characters of 10 bits (11 with a
// parity bit, 12 with two stop bits besides), plus the simulator's
// 3.5-character turnaround before it answers. What is left above that is the
// master's overhead (and the wake-up latency of both processes).
//
//   bench_paced [--count N] [--parity none|even|odd] [--stop-bits 1|2]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/BenchTable.h"
#include "bench/ReadMasters.h"
#include "tests/support/SimProcess.h"

namespace {

bool ParseArgs(int argc, char** argv, int& count, LineSettings& line) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--count" && std::atoi(value.c_str()) > 0) {
            count = std::atoi(value.c_str());
        } else if (option == "--parity" && ParseParity(value, line.parity)) {
        } else if (option == "--stop-bits" && (value == "1" || value == "2")) {
            line.stopBits = value == "1" ? 1 : 2;
        } else {
            return false;
        }
    }
    return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 100;
    LineSettings line;  // 9600 baud 8N1, the unit's
    if (!ParseArgs(argc, argv, count, line)) {
        std::fprintf(stderr, "usage: bench_paced [--count N] [--parity P] [--stop-bits S]\n");
        return 2;
    }
    const double charMs = static_cast<double>(CharacterNs(line)) / 1e6;
    const double lineMs = (8 + 23) * charMs;   // 32.29 ms at 8N1
    const double turnaroundMs = 3.5 * charMs;  // 3.65 ms at 8N1
    const double floorMs = lineMs + turnaroundMs;
    CSimProcess sim;
    if (!sim.Start({"--quiet", "--static", "--baud", "9600", "--parity", ParityName(line.parity),
                    "--stop-bits", std::to_string(line.stopBits)})) {
        std::fprintf(stderr, "bench_paced: k40sim did not start\n");
        return 1;
    }
    CReadMasters masters(sim.Path(), line);
    CSampleSet ignored;
    CSampleSet link;
    CSampleSet libmodbus;
    if (!masters.LinkBlock(3, ignored) || !masters.LinkBlock(count, link) ||
        !masters.LibmodbusBlock(count, libmodbus)) {
        std::fprintf(stderr, "bench_paced: %s\n", masters.Error().c_str());
        return 1;
    }

    CBenchTable t("3. Round trip of 03读AI on a line paced at " + LineName(line) + "; milliseconds",
                  {"master", "exchanges", "median", "p99", "line + turnaround", "overhead median",
                   "overhead p99"});
    auto add = [&](const char* name, const CSampleSet& s) {
        const double median = s.Median() / 1000.0;
        const double p99 = s.Percentile(99) / 1000.0;
        t.AddRow({name, std::to_string(s.Count()), CBenchTable::Number(median, 3),
                  CBenchTable::Number(p99, 3), CBenchTable::Number(floorMs, 3),
                  CBenchTable::Number(median - floorMs, 3),
                  CBenchTable::Number(p99 - floorMs, 3)});
    };
    add("link RunExchange (quiet read)", link);
    add("libmodbus (reference)", libmodbus);
    const double overhead = link.Median() / 1000.0 - floorMs;
    t.AddNote("line: 31 characters x " + std::to_string(CharacterBits(line)) + " bits / 9600 = " +
              CBenchTable::Number(lineMs, 3) + " ms, turnaround 3.5 characters = " +
              CBenchTable::Number(turnaroundMs, 3) + " ms");
    t.AddNote("link overhead above the line: " + CBenchTable::Number(overhead, 3) + " ms   " +
              CBenchTable::Verdict(overhead < 1.0, "< 1 ms"));
    t.Print();
    return 0;
}
