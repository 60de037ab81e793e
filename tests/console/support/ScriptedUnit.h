// A Modbus unit played by a test on the master side of a pseudo-terminal.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

#include "tests/support/TestPty.h"

// The unit, on its own thread because the exchange blocks the test's thread:
// takes one 8-byte request, then answers with the echo of it, the given bytes,
// or nothing.
class CScriptedUnit {
public:
    enum Mode { Echo, Answer, Silent };
    CScriptedUnit(CTestPty& pty, Mode mode, std::vector<std::uint8_t> answer = {})
        : m_thread([this, &pty, mode, answer] {
              m_request = pty.Receive(8, 2000);
              if (mode != Silent && m_request.size() == 8) {
                  pty.Send(mode == Echo ? m_request : answer);
              }
          }) {}
    ~CScriptedUnit() { Join(); }
    CScriptedUnit(const CScriptedUnit&) = delete;
    CScriptedUnit& operator=(const CScriptedUnit&) = delete;
    // The request the unit took; waits for the thread.
    const std::vector<std::uint8_t>& Request() {
        Join();
        return m_request;
    }

private:
    void Join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::vector<std::uint8_t> m_request;
    std::thread m_thread;
};
