// The serial line as a Modbus RTU master sees it: the port plus the send and
// receive buffers with their counts, the slave address and the reply wait, and
// the framing of the one kind of request the program sends.
#pragma once

#include <cstdint>

#include "link/SerialComm.h"

class CModbusComm : public CSerialComm {
public:
    static constexpr int kBufSize = 1024;

    CModbusComm() = default;
    explicit CModbusComm(ISerialPorts& ports, IClock& clock = SystemClock())
        : CSerialComm(ports, clock) {}
    ~CModbusComm() override = default;

    // As the port's purge, and empties the receive count (kinds 0, 2) and the
    // send count (kinds 1, 2), also when no port is open.
    void Purge(std::uint8_t kind) override;
    std::uint32_t OpenWaitMs() const override { return m_nWaitTime; }

    // Writes the 8-byte request (address, function, address hi/lo, value hi/lo,
    // CRC lo/hi) into m_SendBuf; m_nSendLen becomes 8. Framed as BuildFrame.
    void BuildRequest(std::uint8_t function, int address, std::uint16_t value);
    // Writes the request of one PDU (function code and data, at most 253
    // bytes) into m_SendBuf: as an RTU frame (address, PDU, CRC), or behind
    // the MBAP header with the next transaction id when the open device
    // speaks Modbus TCP.
    void BuildFrame(const std::uint8_t* pdu, int pduLength);
    // The open device is a Modbus TCP connection (link/MbapFraming.h).
    bool UsesMbap() const { return m_hComm != nullptr && m_hComm->SpeaksMbap(); }
    // 1 when a run from a byte equal to the slave address to the last byte
    // received ends in its own CRC; that run is then moved to the start.
    int CheckResponse();
    // CRC-16/MODBUS (link/Crc.h); the high byte of the result is the byte sent first.
    static std::uint16_t Crc16(const std::uint8_t* data, int length);

    std::uint8_t m_RecvBuf[kBufSize] = {};
    std::uint8_t m_SendBuf[kBufSize] = {};
    int m_nRecvLen = 0;
    int m_nSendLen = 0;
    int m_nSlaveAddr = 1;
    std::uint32_t m_nWaitTime = 1500;
    std::uint16_t m_nTransaction = 0;  // MBAP: the id of the last request sent
    // MBAP: replies with another transaction id discarded since construction.
    std::uint32_t m_nDiscardedReplies = 0;
    // MBAP: the receive buffer's bytes the last exchange judged; those after
    // them, up to m_nRecvLen, begin a frame that was still on its way and are
    // kept for the next exchange, so the stream never loses its step.
    int m_nMbapJudged = 0;
};
