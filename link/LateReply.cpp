#include "link/LateReply.h"

#include <algorithm>

#include "link/Crc.h"
#include "link/Deadline.h"
#include "link/ReplyMatch.h"

namespace {

// Longest pause when the device said "readable" and yet nothing came.
constexpr std::uint32_t kIdleSliceMs = 10;

// Whether the bytes end in a frame from the slave: a run from a byte equal to
// its address to the end that ends in its own CRC.
bool EndsInFrame(const std::uint8_t* buf, int len, int slaveAddr) {
    for (int i = 0; i + 4 <= len; ++i) {
        if (buf[i] == slaveAddr && EndsInOwnCrc(buf + i, static_cast<std::size_t>(len - i))) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool ListenForLateReply(CModbusComm& comm, IClock& clock) {
    ISerialDevice* device = comm.Device();
    if (device == nullptr) {
        return false;
    }
    const CDeadline deadline(clock, comm.m_nWaitTime);
    const std::uint32_t gap = FrameGapMs(comm.Line());
    // What the exchange itself received (an echo, a piece of the reply) does
    // not end the listening: only a frame completed by new bytes does.
    bool framed = false;
    bool wokeForNothing = false;
    while (comm.m_nRecvLen < CModbusComm::kBufSize) {
        const std::uint32_t room =
            static_cast<std::uint32_t>(CModbusComm::kBufSize - comm.m_nRecvLen);
        const std::uint32_t n = comm.ReadData(comm.m_RecvBuf + comm.m_nRecvLen, room);
        if (n > 0) {
            comm.m_nRecvLen += static_cast<int>(n);
            framed = EndsInFrame(comm.m_RecvBuf, comm.m_nRecvLen, comm.m_nSlaveAddr);
            wokeForNothing = false;
            continue;
        }
        const std::uint32_t left = deadline.Remaining();
        if (left == 0) {
            break;
        }
        if (wokeForNothing) {
            clock.Sleep(std::min(left, kIdleSliceMs));
            wokeForNothing = false;
            continue;
        }
        const WaitResult waited = device->WaitReadable(framed ? std::min(left, gap) : left);
        if (waited == WaitResult::Failed || (waited == WaitResult::TimedOut && framed)) {
            break;  // a failing device is the next exchange's to report
        }
        wokeForNothing = waited == WaitResult::Readable;
    }
    const ReplyMatch m =
        FindReply(comm.m_RecvBuf, comm.m_nRecvLen, comm.m_nSlaveAddr, comm.m_SendBuf);
    return m.kind != ReplyKind::None;
}
