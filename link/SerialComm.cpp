#include "link/SerialComm.h"

#include <algorithm>

#include "link/Deadline.h"

namespace {
// Index 0..6 as the settings page offers them; k40ctl also offers the two
// faster rates that other devices on a bus use.
constexpr std::uint32_t kBaudTable[] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// A write may take 8 ms per byte on top of the constant part.
constexpr std::uint32_t kWriteMsPerByte = 8;
// How often the output queue is looked at while it drains. At 38400 baud an
// 8-byte request takes about 2 ms on the wire.
constexpr std::uint32_t kDrainPollMs = 1;
}  // namespace

CSerialComm::CSerialComm() : CSerialComm(SystemPorts()) {}

CSerialComm::CSerialComm(ISerialPorts& ports, IClock& clock) : m_pPorts(&ports), m_pClock(&clock) {}

CSerialComm::~CSerialComm() {
    ClosePort();
}

std::uint32_t CSerialComm::BaudRate(int index) {
    // Callers supply 0..8; anything else gets a rate no line accepts.
    if (index < 0 || index >= static_cast<int>(std::size(kBaudTable))) {
        return 0;
    }
    return kBaudTable[index];
}

int CSerialComm::BaudIndex(std::uint32_t baud) {
    for (int i = 0; BaudRate(i) != 0; ++i) {
        if (BaudRate(i) == baud) {
            return i;
        }
    }
    return -1;
}

bool CSerialComm::SetLineSettings(const LineSettings& line) {
    const int index = BaudIndex(line.baud);
    if (index < 0) {
        return false;
    }
    m_nBaud = index;
    m_parity = line.parity;
    m_nStopBits = line.stopBits;
    return true;
}

int CSerialComm::OpenPort() {
    if (m_nOpenPort != m_nPort) {
        ClosePort();
        m_nOpenPort = m_nPort;
    }
    // Same port still open: every call reopens it from scratch.
    ClosePort();
    // Nothing received on the last connection is judged with the next one's
    // bytes (the port is closed: only the receive count goes).
    Purge(0);
    // Another port, or another adapter behind the same name: learn again.
    m_echoState = EchoState::Unknown;
    m_bEchoSettling = false;
    m_hComm = m_pPorts->Open(m_nOpenPort, OpenWaitMs());
    m_nOpenError = m_hComm ? 0 : m_pPorts->LastOpenError();
    return m_hComm ? 1 : 0;
}

int CSerialComm::SetupPort() {
    if (!m_hComm) {
        return 0;
    }
    return m_hComm->SetLine(Line());
}

int CSerialComm::InitPort() {
    if (OpenPort() == 0) {
        return 0;
    }
    return SetupPort();
}

int CSerialComm::ClosePort() {
    if (!m_hComm) {
        return 0;
    }
    m_hComm->Discard(true, true);
    m_hComm.reset();
    return 1;
}

std::uint32_t CSerialComm::ReadData(std::uint8_t* buffer, std::uint32_t size) {
    if (!m_hComm) {
        return 0;
    }
    const long queued = m_hComm->QueuedInput();
    if (queued <= 0) {
        return 0;
    }
    const std::uint32_t n = std::min(size, static_cast<std::uint32_t>(queued));
    if (n == 0) {
        return 0;
    }
    const long got = m_hComm->Read(buffer, n);
    return got > 0 ? static_cast<std::uint32_t>(got) : 0u;
}

int CSerialComm::WriteData(const std::uint8_t* buffer, int length) {
    if (!m_hComm || length < 0) {
        return 0;
    }
    const std::uint32_t limit = kWriteMsPerByte * static_cast<std::uint32_t>(length) +
                                static_cast<std::uint32_t>(m_nTimeout);
    // One limit for handing the bytes over and for their leaving the driver:
    // an adapter that stops sending (flow control stuck, a wedged USB driver)
    // must not hold the window forever. The reply wait counts from the end of
    // the transmission, so the write returns only once the queue is empty.
    CDeadline deadline(*m_pClock, limit);
    const auto total = static_cast<std::size_t>(length);
    std::size_t done = 0;
    for (;;) {
        if (done < total) {
            const long n = m_hComm->WriteSome(buffer + done, total - done);
            if (n < 0) {
                return 0;  // the adapter was unplugged, or the line hung up
            }
            done += static_cast<std::size_t>(n);
            if (n > 0) {
                continue;
            }
        } else {
            const long queued = m_hComm->QueuedOutput();
            if (queued <= 0) {
                return 1;  // sent; a device that cannot tell has sent what it took
            }
        }
        const std::uint32_t left = deadline.Remaining();
        if (left == 0) {
            return 0;
        }
        if (done < total) {
            if (m_hComm->WaitWritable(left) == WaitResult::Failed) {
                return 0;
            }
        } else {
            m_pClock->Sleep(std::min(left, kDrainPollMs));
        }
    }
}

void CSerialComm::Purge(std::uint8_t kind) {
    if (!m_hComm || kind > 2) {
        return;
    }
    m_hComm->Discard(kind == 0 || kind == 2, kind == 1 || kind == 2);
}
