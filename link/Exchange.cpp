#include "link/Exchange.h"

#include <algorithm>
#include <cstring>

#include "link/Deadline.h"
#include "link/ReplyMatch.h"

namespace {

// Longest pause when waiting on the device is impossible or pointless (port
// closed, device in error or hung up, receive buffer full): short enough that a
// reply is still seen promptly, long enough that the wait does not spin.
constexpr std::uint32_t kSliceMs = 10;

struct ExchangeTraits {
    bool purge;
    bool resetCount;
    bool echo;
};

ExchangeTraits TraitsOf(ExchangeVariant variant) {
    switch (variant) {
        case ExchangeVariant::Read:
            return {true, false, true};
        case ExchangeVariant::QuietRead:
            return {true, false, false};
        case ExchangeVariant::SystemCommand:
            return {true, false, true};
        case ExchangeVariant::PurgingModuleCommand:
            return {true, true, true};
        case ExchangeVariant::ModuleCommand:
            return {false, true, true};
    }
    return {true, false, true};
}

// Takes the copy of the request off the front of what arrived when the line
// echoes, and learns in auto that it does. The search for the reply runs on
// the bytes after the copy; without a copy expected it runs as it always has,
// on all the bytes received.
class CEchoFilter {
public:
    CEchoFilter(CModbusComm& comm, std::uint8_t function, bool purged, const std::uint8_t* request)
        : m_comm(comm),
          m_request(request),
          m_bRead(function == 0x01 || function == 0x03),
          m_bPurged(purged),
          m_bExpected(comm.EchoExpected()),
          m_bLearning(comm.m_echoMode == EchoMode::Auto && !m_bExpected && m_bRead) {}

    // Looks at the bytes received so far; m is the reply if one is there.
    // False when the exchange must end as a failure now.
    bool Search(ExchangeResult& result, ReplyMatch& m) {
        const std::uint8_t* buf = m_comm.m_RecvBuf;
        const int len = m_comm.m_nRecvLen;
        if (!result.echoRemoved && (m_bExpected || m_bLearning)) {
            // After a purge the copy is the first thing to come; without one,
            // bytes left from before may come first. Evidence for learning may
            // sit anywhere.
            const int at = FindRequestCopy(buf, len, m_request, m_bLearning || !m_bPurged);
            if (at >= 0) {
                result.echoRemoved = true;
                result.afterEcho = at + 8;
                if (m_bLearning) {
                    m_comm.m_bEchoLearned = true;  // a read request is never a reply
                    m_bExpected = true;
                }
            }
        }
        if (result.echoRemoved) {
            m = FindReply(buf + result.afterEcho, len - result.afterEcho, m_comm.m_nSlaveAddr,
                          m_request);
            m.pos += result.afterEcho;
            return true;
        }
        if (!m_bExpected) {
            m = FindReply(buf, len, m_comm.m_nSlaveAddr, m_request);
            return true;
        }
        if (m_bRead) {
            // A line that does not echo after all: a reply with nothing in
            // front of it cannot be a spoilt copy, and is taken.
            m = FindReply(buf, len, m_comm.m_nSlaveAddr, m_request);
            if (m.pos != 0) {
                m = ReplyMatch{};
            }
            return true;
        }
        if (m_bPurged && !IsRequestPrefix(buf, len, m_request)) {
            // Only the copy can come first, and this is not it.
            result.echoMismatch = true;
            return false;
        }
        return true;
    }

    // At the time-out: whatever arrived in place of an expected copy.
    void Finish(ExchangeResult& result) const {
        if (m_bExpected && !result.echoRemoved && m_comm.m_nRecvLen > 0) {
            result.echoMismatch = true;
        }
    }

private:
    CModbusComm& m_comm;
    const std::uint8_t* m_request;
    bool m_bRead;
    bool m_bPurged;
    bool m_bExpected;
    bool m_bLearning;
};

}  // namespace

ExchangeResult RunExchange(CModbusComm& comm, ExchangeVariant variant, std::uint8_t function,
                           int address, std::uint16_t value, IFrameEcho* echo, IClock& clock) {
    const ExchangeTraits traits = TraitsOf(variant);
    if (traits.purge) {
        comm.Purge(2);
    }
    comm.BuildRequest(function, address, value);
    if (echo != nullptr) {
        echo->ShowSendFrame();
    }
    // A failed write is not looked at: the exchange then ends in its time-out.
    (void)comm.WriteData(comm.m_SendBuf, comm.m_nSendLen);
    std::uint8_t request[8];
    std::memcpy(request, comm.m_SendBuf, sizeof request);

    const CDeadline deadline(clock, comm.m_nWaitTime);  // from the end of the write
    if (traits.resetCount) {
        comm.m_nRecvLen = 0;
    }

    ExchangeResult result;
    CEchoFilter filter(comm, function, traits.purge, request);
    bool wokeForNothing = false;  // the last wait said "readable" and yet nothing came
    while (!deadline.Expired()) {
        const std::uint32_t room =
            static_cast<std::uint32_t>(CModbusComm::kBufSize - comm.m_nRecvLen);
        const std::uint32_t n = comm.ReadData(comm.m_RecvBuf + comm.m_nRecvLen, room);
        comm.m_nRecvLen += static_cast<int>(n);
        if (traits.echo && n > 0 && echo != nullptr) {
            echo->ShowRecvFrame();
        }
        ReplyMatch m;
        if (!filter.Search(result, m)) {
            return result;  // the copy of the request came back altered
        }
        if (m.kind != ReplyKind::None) {
            std::memmove(comm.m_RecvBuf, comm.m_RecvBuf + m.pos,
                         static_cast<std::size_t>(m.length));
            result.outcome =
                m.kind == ReplyKind::Reply ? ExchangeOutcome::Reply : ExchangeOutcome::Exception;
            result.exceptionCode = m.exceptionCode;
            result.replyLength = m.length;
            return result;
        }
        if (n > 0) {
            wokeForNothing = false;
            continue;  // more may be queued already: read again before waiting
        }
        // Nothing new: wait until the port has input, at most for the time left.
        const std::uint32_t left = deadline.Remaining();
        if (left == 0) {
            break;
        }
        ISerialDevice* device = comm.Device();
        if (device == nullptr || room == 0 || wokeForNothing) {
            clock.Sleep(std::min(left, kSliceMs));
            wokeForNothing = false;
            continue;
        }
        switch (device->WaitReadable(left)) {
            case WaitResult::Readable:
                wokeForNothing = true;
                break;
            case WaitResult::TimedOut:
                break;
            case WaitResult::Failed:
                clock.Sleep(std::min(left, kSliceMs));
                break;
        }
    }
    filter.Finish(result);
    return result;
}
