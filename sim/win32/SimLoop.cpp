// The simulator's loop on Windows: WSAPoll on the listener or the client, a
// console control handler for Ctrl+C, Ctrl+Break and the console's close.
#include <winsock2.h>

#include <windows.h>

#include <timeapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "link/OpenError.h"
#include "sim/SimRunner.h"
#include "sim/win32/SocketFd.h"

namespace {

// How often the loop looks at the stop flag while nothing is due: WSAPoll
// cannot wait on the console handler.
constexpr std::int64_t kStopCheckNs = 100 * kNsPerMs;

std::atomic<bool> g_stop{false};

BOOL WINAPI OnConsoleEvent(DWORD /*event*/) {
    g_stop = true;
    return TRUE;
}

}  // namespace

int CSimRunner::BlockStopSignals() {
    return SetConsoleCtrlHandler(OnConsoleEvent, TRUE) ? 0 : -1;
}

void CSimRunner::FineTimers() {
    // Released by the system when the program ends.
    (void)timeBeginPeriod(1);
}

std::int64_t CSimRunner::Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string CSimRunner::WallClock() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond,
                  t.wMilliseconds);
    return text;
}

int CSimRunner::Run() {
    m_nStartNs = Now();
    while (!g_stop) {
        std::int64_t left = kStopCheckNs;
        if (!m_queue.empty() && !m_bWaitWritable) {
            left = std::clamp<std::int64_t>(m_queue.front().dueNs - Now(), 0, kStopCheckNs);
        }
        const bool client = m_port.Fd() >= 0;
        WSAPOLLFD p{};
        p.fd = AsSocket(client ? m_port.Fd() : m_port.ListenFd());
        p.events = static_cast<SHORT>(POLLRDNORM | (client && m_bWaitWritable ? POLLWRNORM : 0));
        // Rounded up: a reply is never sent before it is due.
        const int r = WSAPoll(&p, 1, static_cast<INT>((left + kNsPerMs - 1) / kNsPerMs));
        if (r < 0) {
            std::fprintf(stderr, "k40sim: poll: %s\n", OpenErrorText(WSAGetLastError()).c_str());
            return 1;
        }
        if (!client && (p.revents & POLLRDNORM)) {
            (void)m_port.Accept();
            continue;
        }
        if (client && (p.revents & POLLWRNORM)) {
            m_bWaitWritable = false;
        }
        if (client && (p.revents & (POLLRDNORM | POLLERR | POLLHUP)) && !Receive()) {
            return 1;
        }
        if (!Flush()) {
            return 1;
        }
    }
    return 0;
}

bool CSimRunner::Receive() {
    std::uint8_t buf[512];
    for (;;) {
        const int n = ::recv(AsSocket(m_port.Fd()), reinterpret_cast<char*>(buf), sizeof buf, 0);
        if (n > 0) {
            OnBytes(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
            return true;
        }
        // The client closed or reset its connection: what it had asked goes
        // unanswered; the next client starts on a quiet line.
        DropClient();
        return true;
    }
}

bool CSimRunner::Flush() {
    if (m_port.Fd() < 0) {
        m_queue.clear();  // no client to hear it
        return true;
    }
    while (!m_queue.empty() && !m_bWaitWritable && m_queue.front().dueNs <= Now()) {
        Pending& p = m_queue.front();
        const int n =
            ::send(AsSocket(m_port.Fd()), reinterpret_cast<const char*>(p.bytes.data() + p.done),
                   static_cast<int>(p.bytes.size() - p.done), 0);
        if (n > 0) {
            p.done += static_cast<std::size_t>(n);
            if (p.done == p.bytes.size()) {
                m_queue.pop_front();
            }
            continue;
        }
        if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
            m_bWaitWritable = true;  // the client does not read: wait until it does
            return true;
        }
        DropClient();  // the client has gone
        return true;
    }
    return true;
}
