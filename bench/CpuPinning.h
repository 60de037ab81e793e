// Pinning the processes of a paired benchmark, so that its two sides meet the
// same placement: the master on one processor, both simulators on another.
// Left to the scheduler, whichever simulator happens to share the master's
// processor pays for it, and the ratio measures that, not the two devices.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The processors this process may run on, in order.
std::vector<int> AllowedCpus();

// Pins every thread of process pid (0: this one) to cpu; false if one refused.
bool PinProcess(pid_t pid, int cpu);

// Pins this process to the first allowed processor and each of sims to the
// second; the note for the table says what was done (or why not).
std::string PinMasterAndSimulators(const std::vector<pid_t>& sims);
