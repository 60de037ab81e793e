#include "link/Exchange.h"

#include <algorithm>

#include "link/Deadline.h"
#include "link/ReplySearch.h"

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

// Auto, and nothing known of the echo: a 05/06 write is preceded by the read
// that settles it. Nothing echoes over Modbus TCP: no read is needed there.
void SettleEchoFirst(CModbusComm& comm, std::uint8_t function, IFrameEcho* echo, IClock& clock) {
    if ((function == 0x05 || function == 0x06) && comm.IsOpen() && !comm.UsesMbap() &&
        comm.EchoNeedsSettling()) {
        SettleEcho(comm, echo, clock);
    }
}

// Nothing new came: waits until the port has input, at most for the time
// left. False when the exchange is over without a reply: the time is up, or
// the peer closed the connection.
bool WaitForInput(CModbusComm& comm, const CDeadline& deadline, bool roomLeft, IFrameEcho* echo,
                  IClock& clock, bool& wokeForNothing, ExchangeResult& result) {
    const std::uint32_t left = deadline.Remaining();
    if (left == 0) {
        return false;
    }
    ISerialDevice* device = comm.Device();
    if (device == nullptr || !roomLeft || wokeForNothing) {
        clock.Sleep(std::min(left, kSliceMs));
        wokeForNothing = false;
        if (echo != nullptr) {
            echo->WhileWaiting();
        }
        return true;
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
                return false;
            }
            clock.Sleep(std::min(left, kSliceMs));
            break;
    }
    if (echo != nullptr) {
        echo->WhileWaiting();
    }
    return true;
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
    const ExchangeTraits traits = TraitsOf(variant);
    SettleEchoFirst(comm, pdu[0], echo, clock);
    CRtuReplySearch rtu(comm, pdu[0], traits.purge, traits.resetCount);
    CTcpReplySearch tcp(comm);
    IReplySearch& search = comm.UsesMbap() ? static_cast<IReplySearch&>(tcp) : rtu;
    search.BeforeSend();
    comm.BuildFrame(pdu, pduLength);
    if (echo != nullptr) {
        echo->ShowSendFrame();
    }
    // A failed write is not looked at: the exchange then ends in its time-out.
    (void)comm.WriteData(comm.m_SendBuf, comm.m_nSendLen);
    const CDeadline deadline(clock, comm.m_nWaitTime);  // from the end of the write
    search.AfterSend();

    ExchangeResult result;
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
        if (!search.Search(result, m)) {
            return result;  // the copy of the request came back altered
        }
        if (m.kind != ReplyKind::None) {
            result.outcome =
                m.kind == ReplyKind::Reply ? ExchangeOutcome::Reply : ExchangeOutcome::Exception;
            result.exceptionCode = m.exceptionCode;
            result.replyLength = search.TakeReply(m, result);
            return result;
        }
        if (n > 0) {
            wokeForNothing = false;
            continue;  // more may be queued already: read again before waiting
        }
        if (!WaitForInput(comm, deadline, room > 0, echo, clock, wokeForNothing, result)) {
            break;
        }
    }
    search.Finish(result);
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
