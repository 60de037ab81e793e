#include "link/ModbusComm.h"

#include <cstring>

#include "link/Crc.h"
#include "link/MbapFraming.h"

void CModbusComm::Purge(std::uint8_t kind) {
    CSerialComm::Purge(kind);
    if (kind == 0 || kind == 2) {
        m_nRecvLen = 0;
    }
    if (kind == 1 || kind == 2) {
        m_nSendLen = 0;
    }
}

void CModbusComm::BuildRequest(std::uint8_t function, int address, std::uint16_t value) {
    const std::uint8_t pdu[5] = {function, static_cast<std::uint8_t>(address >> 8),
                                 static_cast<std::uint8_t>(address),
                                 static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value)};
    BuildFrame(pdu, 5);
}

void CModbusComm::BuildFrame(const std::uint8_t* pdu, int pduLength) {
    if (UsesMbap()) {
        ++m_nTransaction;
        m_nSendLen = BuildMbapFrame(m_SendBuf, m_nTransaction,
                                    static_cast<std::uint8_t>(m_nSlaveAddr), pdu, pduLength);
        return;
    }
    m_SendBuf[0] = static_cast<std::uint8_t>(m_nSlaveAddr);
    std::memcpy(m_SendBuf + 1, pdu, static_cast<std::size_t>(pduLength));
    const std::uint16_t crc = Crc16(m_SendBuf, pduLength + 1);
    m_SendBuf[pduLength + 1] = static_cast<std::uint8_t>(crc >> 8);
    m_SendBuf[pduLength + 2] = static_cast<std::uint8_t>(crc);
    m_nSendLen = pduLength + 3;
}

int CModbusComm::CheckResponse() {
    const int len = m_nRecvLen;
    if (len <= 0) {
        return 0;
    }
    for (int i = 0; i < len; ++i) {
        if (static_cast<int>(m_RecvBuf[i]) != m_nSlaveAddr) {
            continue;
        }
        // Address, function and two CRC bytes at least; later candidates are shorter.
        if (len - i < 4) {
            return 0;
        }
        if (!EndsInOwnCrc(m_RecvBuf + i, static_cast<std::size_t>(len - i))) {
            continue;
        }
        for (int k = 0; k <= len - i - 1; ++k) {
            m_RecvBuf[k] = m_RecvBuf[k + i];
        }
        return 1;
    }
    return 0;
}

std::uint16_t CModbusComm::Crc16(const std::uint8_t* data, int length) {
    return ::Crc16(data, length > 0 ? static_cast<std::size_t>(length) : 0u);
}
