// The test line on Linux: a pseudo-terminal, whose slave side the program
// opens as COM1.
#include "TestLine.h"

#include "tests/support/TestPty.h"

struct CTestLine::Impl {
    explicit Impl(Hold hold)
        : pty(hold == HoldSlave ? CTestPty::HoldSlave : CTestPty::LeaveSlave) {}
    CTestPty pty;
};

CTestLine::CTestLine(Hold hold) : m_pImpl(std::make_unique<Impl>(hold)) {}

CTestLine::~CTestLine() = default;

bool CTestLine::IsValid() const {
    return m_pImpl->pty.IsValid();
}

const std::string& CTestLine::PortName() const {
    return m_pImpl->pty.Path();
}

bool CTestLine::Send(const Bytes& bytes) {
    return m_pImpl->pty.Send(bytes);
}

CTestLine::Bytes CTestLine::Receive(std::size_t count, int timeoutMs) {
    return m_pImpl->pty.Receive(count, timeoutMs);
}

bool CTestLine::HasInput() const {
    return m_pImpl->pty.HasInput();
}

bool CTestLine::ProgramHoldsLine() const {
    return m_pImpl->pty.SlaveIsOpen();
}

CTestPty& CTestLine::Pty() {
    return m_pImpl->pty;
}
