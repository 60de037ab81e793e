#include "tests/support/TestPty.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

CTestPty::CTestPty(SlaveHold hold) {
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = -1;
        m_slave = -1;
        return;
    }
    m_path = name;
    if (hold == LeaveSlave) {
        // Only the program under test holds the slave side from now on.
        ::close(m_slave);
        m_slave = -1;
    }
}

CTestPty::~CTestPty() {
    CloseMaster();
    if (m_slave >= 0) {
        ::close(m_slave);
    }
}

void CTestPty::CloseMaster() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

bool CTestPty::SlaveIsOpen() const {
    pollfd p{m_master, POLLIN, 0};
    if (m_master < 0 || ::poll(&p, 1, 0) < 0) {
        return false;
    }
    return (p.revents & POLLHUP) == 0;
}

bool CTestPty::HasInput() const {
    pollfd p{m_master, POLLIN, 0};
    return m_master >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

bool CTestPty::Send(const std::vector<std::uint8_t>& bytes) {
    return ::write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::vector<std::uint8_t> CTestPty::Receive(std::size_t count, int timeoutMs) {
    std::vector<std::uint8_t> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        std::uint8_t buf[256];
        const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - got.size()));
        if (n <= 0) {
            break;  // a hang-up (no slave open) reads as an error
        }
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}
