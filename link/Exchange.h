// One Modbus exchange on the serial line: send one request, then collect
// bytes until the reply to it is there or the reply wait has run out. It runs
// synchronously in the handler of the button that was pressed.
#pragma once

#include <cstdint>
#include <vector>

#include "link/Clock.h"
#include "link/ModbusComm.h"

// How the handlers differ: whether the queues are purged before sending,
// whether the receive count starts again at 0 after sending, and whether the
// receive box follows the arriving bytes.
enum class ExchangeVariant {
    Read,                  // 01读DI, 03读DI
    QuietRead,             // 03读AI: the receive box is never touched
    SystemCommand,         // 手动, 自动, 浮充, 均充
    PurgingModuleCommand,  // 调压设置
    ModuleCommand,         // 限流设置, 开机, 关机: no purge before sending
};

// Implemented by the pages that show the frames as hex text.
class IFrameEcho {
public:
    virtual ~IFrameEcho() = default;
    virtual void ShowSendFrame() = 0;
    virtual void ShowRecvFrame() = 0;
    // Whether the read that settles the echo before a write (see RunExchange)
    // is shown too: a log of the line wants every frame, while the window's
    // hex boxes show only the command's own.
    virtual bool ShowsSettlingRead() const { return false; }
    // Called at least every kWaitSliceMs while the exchange waits for its reply,
    // the settling read's included: a window repaints and answers the system
    // there, so that a long wait does not get it marked as hung.
    virtual void WhileWaiting() {}
};

// The longest stretch of a reply wait without a call of WhileWaiting.
constexpr std::uint32_t kWaitSliceMs = 100;

enum class ExchangeOutcome { Reply, Exception, Timeout };

struct ExchangeResult {
    ExchangeOutcome outcome = ExchangeOutcome::Timeout;
    std::uint8_t exceptionCode = 0;  // with ExchangeOutcome::Exception
    int replyLength = 0;             // bytes of the reply at m_RecvBuf[0], CRC included
    // The line echoed: the exact copy of the request was found and skipped.
    bool echoRemoved = false;
    // A copy was expected (echo on or learned) and what arrived was not it:
    // another copy, one byte short, a collision, or other bytes instead.
    bool echoMismatch = false;
    // On a failure, the bytes after the removed copy start at m_RecvBuf[afterEcho]
    // and run to m_nRecvLen (0 when no copy was removed).
    int afterEcho = 0;
    // The device itself reported an error or a hang-up while the exchange
    // waited (a USB adapter pulled, the far end of a pseudo-terminal gone):
    // further exchanges on it are pointless until it has been reopened.
    bool deviceFailed = false;
    // Modbus TCP: complete replies with another transaction id, discarded.
    int discardedReplies = 0;
    // Modbus TCP: the unit id of a taken reply that carried another one than
    // was asked (a device that answers 0 or 255 whatever it is sent); else -1.
    int otherUnit = -1;
    // Modbus TCP: the last frame with the request's transaction id that did
    // not answer it, as it came (MBAP header included); empty when none.
    std::vector<std::uint8_t> mismatch;
};

// On Reply or Exception the frame has been moved to the start of m_RecvBuf.
// With echo on, or learned in auto, the exact copy of the request must arrive
// first (in the variant that does not purge, possibly behind stale bytes) and
// the reply is looked for only after it, so a lone copy of a 05/06 request is
// never taken for its reply; anything else in its place makes the exchange
// fail. A 01/03 reply that arrives with nothing in front of it is still taken,
// so reads work on a line that does not echo.
// In auto, a 05/06 write on a port whose echo is still unknown is preceded by
// one read of holding register 0 (the status word), once per opening: it
// settles whether the line echoes, and the write is then judged by that.
ExchangeResult RunExchange(CModbusComm& comm, ExchangeVariant variant, std::uint8_t function,
                           int address, std::uint16_t value, IFrameEcho* echo,
                           IClock& clock = SystemClock());
// The same for a request of any length: pdu is the function code and its data
// (at most 253 bytes), framed for the open device (RTU, or MBAP over Modbus
// TCP, where the reply must also carry the request's transaction id). On Reply
// or Exception the frame at the start of m_RecvBuf is in RTU form (address,
// PDU, CRC) either way; the receive box has shown the bytes as they came.
ExchangeResult RunRequest(CModbusComm& comm, ExchangeVariant variant, const std::uint8_t* pdu,
                          int pduLength, IFrameEcho* echo, IClock& clock = SystemClock());

// A broadcast on RTU (slave address 0): every slave applies a write and none
// may answer, so the request is sent and no reply is awaited. The line is
// then kept quiet for the turnaround delay, which the slaves need to carry
// the write out before they can take another request. No echo is settled
// first: the read that does it would itself go to every slave. False when the
// request could not be sent.
bool SendBroadcast(CModbusComm& comm, const std::uint8_t* pdu, int pduLength, IFrameEcho* echo,
                   std::uint32_t turnaroundMs, IClock& clock = SystemClock());
