// Round trip of "03读AI" over Modbus TCP (MBAP frames, matched by transaction
// id) beside the same read as RTU over TCP, both on loopback in the same run
// (see bench/PairBench.h): what the MBAP framing and its search cost.
//
//   bench_mbtcp [--count N] [--block B]
#include "bench/PairBench.h"

int main(int argc, char** argv) {
    return RunPairBench(
        argc, argv, "bench_mbtcp",
        {"RTU over TCP", {"--quiet", "--static", "--listen", "127.0.0.1:0"}},
        {"Modbus TCP", {"--quiet", "--static", "--listen-mbtcp", "127.0.0.1:0"}},
        {"6. Round trip of 03读AI over Modbus TCP (12-byte request -> 27 bytes) and as RTU "
         "over TCP (8 -> 23 bytes), loopback, k40sim without pacing; microseconds per exchange",
         "Modbus TCP / RTU over TCP", 1.2});
}
