// The simulator's loop on Linux: ppoll on the line, the listener, the device
// node's inotify events and a signalfd for the stop signals.
#include "sim/SimRunner.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// A pause that keeps a loop from spinning on a terminal that has no reader.
constexpr std::int64_t kIdleNs = 5 * kNsPerMs;

void Pause(std::int64_t ns) {
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace

int CSimRunner::BlockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        return -1;
    }
    (void)signal(SIGPIPE, SIG_IGN);
    return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

void CSimRunner::FineTimers() {
    // Timers to the microsecond rather than the default 50 us slack.
    (void)prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
}

std::int64_t CSimRunner::Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::string CSimRunner::WallClock() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                  local.tm_sec, ts.tv_nsec / kNsPerMs);
    return text;
}

int CSimRunner::Run() {
    m_nStartNs = Now();
    for (;;) {
        timespec timeout{};
        timespec* wait = nullptr;
        if (!m_queue.empty() && !m_bWaitWritable) {
            const std::int64_t left = std::max<std::int64_t>(0, m_queue.front().dueNs - Now());
            timeout = {static_cast<time_t>(left / 1000000000),
                       static_cast<long>(left % 1000000000)};
            wait = &timeout;
        }
        // poll() passes over the entries whose descriptor is -1.
        pollfd fds[4] = {
            {m_signalFd, POLLIN, 0},
            {m_port.Fd(), static_cast<short>(POLLIN | (m_bWaitWritable ? POLLOUT : 0)), 0},
            {m_port.WatchFd(), POLLIN, 0},
            {m_port.ListenFd(), POLLIN, 0},
        };
        if (ppoll(fds, 4, wait, nullptr) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("k40sim: poll");
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            return 0;
        }
        if (fds[2].revents & POLLIN) {
            m_port.OnWatchEvent();
        }
        if (fds[3].revents & POLLIN) {
            (void)m_port.Accept();
        }
        if (fds[1].revents & POLLOUT) {
            m_bWaitWritable = false;
        }
        if ((fds[1].revents & (POLLIN | POLLERR | POLLHUP)) && !Receive()) {
            return 1;
        }
        if (!Flush()) {
            return 1;
        }
    }
}

bool CSimRunner::Receive() {
    std::uint8_t buf[512];
    for (;;) {
        const ssize_t n = ::read(m_port.Fd(), buf, sizeof buf);
        if (n > 0) {
            OnBytes(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (m_port.IsSocket() && (n == 0 || errno != EAGAIN)) {
            // The client closed or reset its connection: what it had asked
            // goes unanswered; the next client starts on a quiet line.
            DropClient();
            return true;
        }
        if (n == 0 || errno == EAGAIN) {
            return true;
        }
        if (m_port.IsPty() && errno == EIO) {
            // No client side open (only when our own hold on it failed): wait for one.
            Pause(kIdleNs);
            return true;
        }
        std::fprintf(stderr, "k40sim: reading %s: %s\n", m_port.Path().c_str(),
                     std::strerror(errno));
        return false;
    }
}

bool CSimRunner::Flush() {
    if (m_port.Fd() < 0) {
        m_queue.clear();  // no client to hear it
        return true;
    }
    while (!m_queue.empty() && !m_bWaitWritable && m_queue.front().dueNs <= Now()) {
        Pending& p = m_queue.front();
        const ssize_t n = ::write(m_port.Fd(), p.bytes.data() + p.done, p.bytes.size() - p.done);
        if (n > 0) {
            p.done += static_cast<std::size_t>(n);
            if (p.done == p.bytes.size()) {
                m_queue.pop_front();
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            m_bWaitWritable = true;  // the client does not read: wait until it does
            return true;
        }
        if (m_port.IsSocket()) {
            DropClient();  // the client has gone
            return true;
        }
        if (m_port.IsPty()) {
            m_queue.pop_front();  // nobody to hear it
            continue;
        }
        std::fprintf(stderr, "k40sim: writing %s: %s\n", m_port.Path().c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}
