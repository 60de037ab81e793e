// The line between a page test and the unit it plays. The program opens it as
// COM1 (the test sets K40_COM1 to PortName()); the test reads the requests
// and writes the replies on its own side. On Linux it is a pseudo-terminal
// (support/TestLinePty.cpp); under Wine a loopback TCP connection that the
// program reaches as tcp://127.0.0.1:PORT (support/win32/), so no test needs
// a COM port there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CTestPty;

class CTestLine {
public:
    using Bytes = std::vector<std::uint8_t>;
    // A pseudo-terminal's slave side held by the test, so that the line
    // survives the program's closing and reopening it, or left to the
    // program, for tests that check whether it holds the port open. A TCP
    // line accepts every reconnection either way.
    enum Hold { HoldSlave, LeaveSlave };

    explicit CTestLine(Hold hold = HoldSlave);
    ~CTestLine();
    CTestLine(const CTestLine&) = delete;
    CTestLine& operator=(const CTestLine&) = delete;

    bool IsValid() const;
    // What K40_COM1 is set to.
    const std::string& PortName() const;
    bool Send(const Bytes& bytes);
    // Reads until count bytes have come or timeoutMs has passed in all; never
    // more than count bytes, so what follows stays for the next read.
    Bytes Receive(std::size_t count, int timeoutMs = 1000);
    // True when bytes the program wrote wait on the test's side.
    bool HasInput() const;
    // With LeaveSlave (or on a TCP line): true while the program holds its
    // side of the line open.
    bool ProgramHoldsLine() const;

#ifndef _WIN32
    // The pseudo-terminal behind the line, for what only it can answer.
    CTestPty& Pty();
#endif

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
