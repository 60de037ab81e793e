// The program's own link layer as a Modbus master on a path, for the tests
// that talk to a peer over a pseudo-terminal: COM1 is pointed at the path with
// K40_COM1, as a user would point it at a USB adapter.
#pragma once

#include <cstdlib>
#include <string>

#include "link/Exchange.h"
#include "link/ModbusComm.h"
#include "tests/support/TestFrames.h"

class CLinkMaster {
public:
    explicit CLinkMaster(const std::string& path, std::uint32_t waitMs = 500) {
        setenv("K40_COM1", path.c_str(), 1);
        m_comm.m_nPort = 0;
        m_comm.m_nBaud = 4;  // 9600
        m_comm.m_nWaitTime = waitMs;
    }

    bool Open() { return m_comm.InitPort() == 1; }

    ExchangeResult Run(std::uint8_t function, int address, std::uint16_t value,
                       ExchangeVariant variant = ExchangeVariant::Read) {
        return RunExchange(m_comm, variant, function, address, value, nullptr);
    }

    // The frame that the last successful exchange recognised.
    Bytes Reply(const ExchangeResult& r) const {
        return Bytes(m_comm.m_RecvBuf, m_comm.m_RecvBuf + r.replyLength);
    }

    CModbusComm& Comm() { return m_comm; }

private:
    CModbusComm m_comm;
};
