// The round trip of "03读AI" (01 03 00 64 00 09, 23-byte reply) through two
// devices in the same run: two simulators without line pacing, the program's
// link taking turns on the two in alternating blocks so that both see the same
// load on the machine, and on the same processors (the master on one, both
// simulators on another: bench/CpuPinning.h). The table gives each side's figures and the ratio of
// the second's median to the first's against a goal.
#pragma once

#include <string>
#include <vector>

struct PairSide {
    const char* name;               // "pseudo-terminal", "Modbus TCP, 127.0.0.1"
    std::vector<std::string> args;  // k40sim's arguments
};

struct PairGoal {
    std::string title;   // the table's title
    std::string ratio;   // "TCP / pty"
    double maxRatio;     // goal for the median ratio second / first
};

// Parses --count and --block (usage named after program), runs both sides
// and prints the table; the exit status (1 when a side could not run).
int RunPairBench(int argc, char** argv, const char* program, PairSide first, PairSide second,
                 const PairGoal& goal);
