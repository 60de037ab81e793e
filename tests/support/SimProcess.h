// Starts the k40sim binary for a test and stops it again: the test gets the
// path of the simulator's pseudo-terminal to open as its serial port.
//
//   CSimProcess sim;
//   ASSERT_TRUE(sim.Start({"--static", "--quiet"}));
//   setenv("K40_COM1", sim.Path().c_str(), 1);
//   ...
//   EXPECT_EQ(sim.Stop(), 0);  // SIGTERM; the exit status
//
// The simulator's stderr (its request log, unless --quiet) goes to the test's
// stderr, so it shows in the output of a failed test.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class CSimProcess {
public:
    CSimProcess() = default;
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;
    ~CSimProcess();  // stops the simulator if it still runs

    // Runs k40sim with these arguments (without the program name) and waits at
    // most timeoutMs for the path line on its stdout. False when it did not
    // start or print in time (it is then stopped).
    bool Start(const std::vector<std::string>& args, std::uint32_t timeoutMs = 3000);
    // Sends SIGTERM and waits at most timeoutMs for the exit. The exit status
    // (0..255); -1 when it was killed by a signal or had to be killed; -2 when
    // nothing was running.
    int Stop(std::uint32_t timeoutMs = 3000);
    // True until the process has ended (also when it ended by itself).
    bool Running();

    // Run the simulator under this user and group (a test running as root that
    // checks what an ordinary user sees). Before Start.
    void RunAs(uid_t uid, gid_t gid);

    // The pseudo-terminal (or device) path that the simulator printed.
    const std::string& Path() const { return m_path; }
    pid_t Pid() const { return m_pid; }

    // The k40sim binary of this build.
    static std::string BinaryPath();

private:
    pid_t m_pid = -1;
    int m_nStdout = -1;
    bool m_bEnded = false;  // reaped by Running()
    int m_nStatus = 0;      // its wait status then
    uid_t m_uid = static_cast<uid_t>(-1);
    gid_t m_gid = static_cast<gid_t>(-1);
    std::string m_path;
};
