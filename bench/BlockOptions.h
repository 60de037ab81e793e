// The command line of the benchmarks that interleave two contenders in blocks
// (so that a change in the machine's load falls on both alike):
// --count N exchanges for each, --block N exchanges before the other's turn.
#pragma once

struct BlockOptions {
    int count = 1000;  // exchanges per contender
    int block = 25;    // exchanges per block before the other contender's turn
    int warmup = 20;
};

// False on an unknown option or a value that is not a positive number.
bool ParseBlockOptions(int argc, char** argv, BlockOptions& o);
