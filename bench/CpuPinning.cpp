#include "bench/CpuPinning.h"

#include <dirent.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>

std::vector<int> AllowedCpus() {
    std::vector<int> cpus;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) {
        return cpus;
    }
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &set)) {
            cpus.push_back(cpu);
        }
    }
    return cpus;
}

// Threads are pinned one by one (affinity belongs to a thread): those a
// simulator started before this call are in /proc/PID/task.
bool PinProcess(pid_t pid, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    const std::string tasks = "/proc/" + std::to_string(pid == 0 ? getpid() : pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool ok = true;
    int pinned = 0;
    while (const dirent* entry = readdir(dir)) {
        const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (tid > 0) {
            ok = sched_setaffinity(tid, sizeof set, &set) == 0 && ok;
            ++pinned;
        }
    }
    closedir(dir);
    return ok && pinned > 0;
}

std::string PinMasterAndSimulators(const std::vector<pid_t>& sims) {
    const std::vector<int> cpus = AllowedCpus();
    if (cpus.size() < 2) {
        return "one processor: nothing pinned";
    }
    bool ok = PinProcess(0, cpus[0]);
    for (pid_t sim : sims) {
        ok = PinProcess(sim, cpus[1]) && ok;
    }
    if (!ok) {
        return "pinning refused: placement left to the scheduler";
    }
    return "pinned: the master on processor " + std::to_string(cpus[0]) +
           ", both simulators on processor " + std::to_string(cpus[1]);
}
