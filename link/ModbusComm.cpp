#include "link/ModbusComm.h"

#include "link/Crc.h"

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
    m_SendBuf[0] = static_cast<std::uint8_t>(m_nSlaveAddr);
    m_SendBuf[1] = function;
    m_SendBuf[2] = static_cast<std::uint8_t>(address >> 8);
    m_SendBuf[3] = static_cast<std::uint8_t>(address);
    m_SendBuf[4] = static_cast<std::uint8_t>(value >> 8);
    m_SendBuf[5] = static_cast<std::uint8_t>(value);
    const std::uint16_t crc = Crc16(m_SendBuf, 6);
    m_SendBuf[6] = static_cast<std::uint8_t>(crc >> 8);
    m_SendBuf[7] = static_cast<std::uint8_t>(crc);
    m_nSendLen = 8;
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
