// A pseudo-terminal pair for tests: the program opens the slave side by its
// path like a serial port, the test plays the unit on the master side.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class CTestPty {
public:
    CTestPty() {
        char name[128] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&m_master, &m_slave, name, &raw, nullptr) == 0) {
            m_path = name;
        }
    }
    ~CTestPty() {
        CloseMaster();
        if (m_slave >= 0) {
            ::close(m_slave);
        }
    }
    CTestPty(const CTestPty&) = delete;
    CTestPty& operator=(const CTestPty&) = delete;

    const std::string& Path() const { return m_path; }
    int Master() const { return m_master; }
    void CloseMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

    bool Send(const std::vector<std::uint8_t>& bytes) {
        return ::write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until count bytes have come or timeoutMs has passed.
    std::vector<std::uint8_t> Receive(std::size_t count, int timeoutMs = 1000) {
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
                break;
            }
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

private:
    int m_master = -1;
    int m_slave = -1;  // held so the master never sees a hang-up between opens
    std::string m_path;
};
