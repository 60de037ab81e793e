#include "link/Exchange.h"

#include <algorithm>
#include <cstring>

#include "link/Deadline.h"
#include "link/EchoFilter.h"
#include "link/MbapFraming.h"
#include "link/ReplyMatch.h"

namespace {

// Longest pause when waiting on the device is impossible or pointless (port
// closed, device in error or hung up, receive buffer full): short enough that a
// reply is still seen promptly, long enough that the wait does not spin.
constexpr std::uint32_t kSliceMs = 10;

// A settling read the page does not show still keeps its window answering.
class WaitingOnly : public IFrameEcho {
public:
    explicit WaitingOnly(IFrameEcho& owner) : owner_(owner) {}
    void ShowSendFrame() override {}
    void ShowRecvFrame() override {}
    void WhileWaiting() override { owner_.WhileWaiting(); }

private:
    IFrameEcho& owner_;
};

// Auto, before the first write on a port whose echo is unknown: the lone copy
// of a 05/06 request is byte for byte the unit's reply, so only a read can
// tell the two apart. The status word is read: any unit has it, and reading
// it changes nothing.
void SettleEcho(CModbusComm& comm, IFrameEcho* echo, IClock& clock) {
    comm.m_bEchoSettling = true;
    if (echo == nullptr || echo->ShowsSettlingRead()) {
        (void)RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, echo, clock);
        return;
    }
    WaitingOnly waiting(*echo);
    (void)RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, &waiting, clock);
}

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

// Moves the reply to the start of the receive buffer, in RTU form whichever
// framing carried it, so that the decoding is the same; its length.
int TakeReply(CModbusComm& comm, const ReplyMatch& m, bool mbap) {
    if (mbap) {
        return MbapToRtu(comm.m_RecvBuf, m.pos, m.length);
    }
    std::memmove(comm.m_RecvBuf, comm.m_RecvBuf + m.pos, static_cast<std::size_t>(m.length));
    return m.length;
}

// Modbus TCP, before a request: the bytes the last exchange left unjudged (a
// frame cut off by the end of its wait) move to the start of the buffer, to be
// judged with what follows them; everything before them is done with.
void KeepMbapTail(CModbusComm& comm) {
    const int from = std::min(std::max(comm.m_nMbapJudged, 0), comm.m_nRecvLen);
    const int tail = comm.m_nRecvLen - from;
    std::memmove(comm.m_RecvBuf, comm.m_RecvBuf + from, static_cast<std::size_t>(tail));
    comm.m_nRecvLen = tail;
    comm.m_nMbapJudged = 0;
}

void NoteMismatch(const CModbusComm& comm, const CMbapReplySearch& search, ExchangeResult& result) {
    if (search.MismatchLength() > 0) {
        const std::uint8_t* at = comm.m_RecvBuf + search.MismatchPos();
        result.mismatch.assign(at, at + search.MismatchLength());
    }
}

}  // namespace

ExchangeResult RunExchange(CModbusComm& comm, ExchangeVariant variant, std::uint8_t function,
                           int address, std::uint16_t value, IFrameEcho* echo, IClock& clock) {
    const std::uint8_t pdu[5] = {function, static_cast<std::uint8_t>(address >> 8),
                                 static_cast<std::uint8_t>(address),
                                 static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value)};
    return RunRequest(comm, variant, pdu, 5, echo, clock);
}

ExchangeResult RunRequest(CModbusComm& comm, ExchangeVariant variant, const std::uint8_t* pdu,
                          int pduLength, IFrameEcho* echo, IClock& clock) {
    const CFineTimer fine;
    const std::uint8_t function = pdu[0];
    const ExchangeTraits traits = TraitsOf(variant);
    // Nothing echoes over Modbus TCP: no read is needed to settle it.
    if ((function == 0x05 || function == 0x06) && comm.IsOpen() && !comm.UsesMbap() &&
        comm.EchoNeedsSettling()) {
        SettleEcho(comm, echo, clock);
    }
    // Over Modbus TCP nothing is purged: a late reply carries its own
    // transaction id and is discarded and counted by the search, and a purge
    // in the middle of a frame would leave a tail that can pass for a header.
    const bool mbap = comm.UsesMbap();
    if (mbap) {
        KeepMbapTail(comm);
    } else if (traits.purge) {
        comm.Purge(2);
    }
    // Without a purge, bytes may be waiting from before: the copy of this
    // request can only come after them (see CEchoFilter).
    int stale = 0;
    if (!traits.purge && !mbap && comm.Device() != nullptr) {
        const long queued = comm.Device()->QueuedInput();
        stale = (traits.resetCount ? 0 : comm.m_nRecvLen) + static_cast<int>(std::max(queued, 0L));
    }
    comm.BuildFrame(pdu, pduLength);
    if (echo != nullptr) {
        echo->ShowSendFrame();
    }
    // A failed write is not looked at: the exchange then ends in its time-out.
    (void)comm.WriteData(comm.m_SendBuf, comm.m_nSendLen);
    std::uint8_t request[CModbusComm::kBufSize] = {};
    std::memcpy(request, comm.m_SendBuf, static_cast<std::size_t>(comm.m_nSendLen));

    const CDeadline deadline(clock, comm.m_nWaitTime);  // from the end of the write
    if (traits.resetCount && !mbap) {
        comm.m_nRecvLen = 0;
    }

    ExchangeResult result;
    CEchoFilter filter(comm, function, traits.purge, request, stale);
    // Over Modbus TCP nothing echoes: the reply is found by its header.
    CMbapReplySearch mbapSearch(request, comm.m_nSendLen);
    const auto finish = [&] {
        if (mbap) {
            comm.m_nMbapJudged = mbapSearch.Scanned();
            NoteMismatch(comm, mbapSearch, result);
        } else {
            filter.Finish(result);
        }
    };
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
        if (mbap) {
            m = mbapSearch.Search(comm.m_RecvBuf, comm.m_nRecvLen);
            comm.m_nDiscardedReplies += mbapSearch.Discarded() - result.discardedReplies;
            result.discardedReplies = mbapSearch.Discarded();
        } else if (!filter.Search(result, m)) {
            return result;  // the copy of the request came back altered
        }
        if (m.kind != ReplyKind::None) {
            result.outcome =
                m.kind == ReplyKind::Reply ? ExchangeOutcome::Reply : ExchangeOutcome::Exception;
            result.exceptionCode = m.exceptionCode;
            if (mbap) {
                comm.m_nMbapJudged = m.pos + m.length;
                result.otherUnit = mbapSearch.OtherUnit();
            }
            result.replyLength = TakeReply(comm, m, mbap);
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
            if (echo != nullptr) {
                echo->WhileWaiting();
            }
            continue;
        }
        // Without an echo nothing needs a turn: the whole time left in one wait.
        switch (device->WaitReadable(echo != nullptr ? std::min(left, kWaitSliceMs) : left)) {
            case WaitResult::Readable:
                wokeForNothing = true;
                break;
            case WaitResult::TimedOut:
                break;
            case WaitResult::Failed:
                result.deviceFailed = true;
                if (device->Ended()) {
                    // A connection the peer closed: what it sent is read, and
                    // nothing more can come. The rest of the wait would be spent
                    // for nothing; the outcome is the same time-out.
                    finish();
                    return result;
                }
                clock.Sleep(std::min(left, kSliceMs));
                break;
        }
        if (echo != nullptr) {
            echo->WhileWaiting();
        }
    }
    finish();
    return result;
}

bool SendBroadcast(CModbusComm& comm, const std::uint8_t* pdu, int pduLength, IFrameEcho* echo,
                   std::uint32_t turnaroundMs, IClock& clock) {
    comm.Purge(2);
    comm.BuildFrame(pdu, pduLength);
    if (echo != nullptr) {
        echo->ShowSendFrame();
    }
    // The write returns once the frame has left, so the delay counts from its end.
    if (comm.WriteData(comm.m_SendBuf, comm.m_nSendLen) == 0) {
        return false;
    }
    clock.Sleep(turnaroundMs);
    return true;
}
