// Round trip of "03读AI" through the TCP device, as to a unit behind a serial
// device server, beside the same read on a pseudo-terminal in the same run
// (see bench/PairBench.h).
//
//   bench_tcp [--count N] [--block B]
#include "bench/PairBench.h"

int main(int argc, char** argv) {
    return RunPairBench(
        argc, argv, "bench_tcp", {"pseudo-terminal", {"--quiet", "--static"}},
        {"TCP, 127.0.0.1", {"--quiet", "--static", "--listen", "127.0.0.1:0"}},
        {"5. Round trip of 03读AI (01 03 00 64 00 09 -> 23 bytes) through the TCP device "
         "and on a pty, k40sim without pacing; microseconds per exchange",
         "TCP / pty", 1.5});
}
