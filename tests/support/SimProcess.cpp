#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for the child to end; its waitpid status, or -1 on time-out.
int WaitExit(pid_t pid, std::uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (pidfd >= 0) {
                close(pidfd);
            }
            return status;
        }
        const int left = MsLeft(deadline);
        if (r < 0 || left == 0) {
            if (pidfd >= 0) {
                close(pidfd);
            }
            return -1;
        }
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            (void)poll(&p, 1, left);  // readable when the process has ended
        } else {
            const timespec ts{0, 2000000};
            nanosleep(&ts, nullptr);
        }
    }
}

}  // namespace

std::string CSimProcess::BinaryPath() {
    return K40SIM_PATH;
}

CSimProcess::~CSimProcess() {
    (void)Stop();
}

void CSimProcess::RunAs(uid_t uid, gid_t gid) {
    m_uid = uid;
    m_gid = gid;
}

bool CSimProcess::Start(const std::vector<std::string>& args, std::uint32_t timeoutMs) {
    if (m_pid > 0) {
        return false;
    }
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return false;
    }
    std::vector<std::string> words{BinaryPath()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        dup2(out[1], STDOUT_FILENO);
        if (m_gid != static_cast<gid_t>(-1) && (setgroups(0, nullptr) != 0 || setgid(m_gid) != 0)) {
            _exit(126);
        }
        if (m_uid != static_cast<uid_t>(-1) && setuid(m_uid) != 0) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    m_pid = pid;
    m_nStdout = out[0];

    // The first line on stdout is the path.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    for (;;) {
        pollfd p{m_nStdout, POLLIN, 0};
        const int left = MsLeft(deadline);
        if (left == 0 || poll(&p, 1, left) <= 0) {
            break;
        }
        char c = 0;
        const ssize_t n = read(m_nStdout, &c, 1);
        if (n <= 0) {
            break;  // ended before printing
        }
        if (c == '\n') {
            m_path = line;
            return !m_path.empty();
        }
        line += c;
    }
    (void)Stop(timeoutMs);
    return false;
}

bool CSimProcess::Running() {
    if (m_pid <= 0 || m_bEnded) {
        return false;
    }
    if (waitpid(m_pid, &m_nStatus, WNOHANG) == m_pid) {
        m_bEnded = true;
    }
    return !m_bEnded;
}

int CSimProcess::Stop(std::uint32_t timeoutMs) {
    if (m_pid <= 0) {
        return -2;
    }
    int status = m_nStatus;
    if (!m_bEnded) {
        (void)kill(m_pid, SIGTERM);
        status = WaitExit(m_pid, timeoutMs);
        if (status == -1) {
            (void)kill(m_pid, SIGKILL);
            (void)WaitExit(m_pid, timeoutMs);
        }
    }
    m_pid = -1;
    m_bEnded = false;
    if (m_nStdout >= 0) {
        close(m_nStdout);
        m_nStdout = -1;
    }
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
