// k40ctl's side of the serial line: the same CModbusComm and exchange as
// k40tool's pages, on a port given by name, turning each exchange into a
// ReadRecord (reads) or an outcome (commands), with the traffic log on request.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "link/Exchange.h"
#include "link/NamedPort.h"
#include "master/LinkCounters.h"
#include "master/ReadRecord.h"
#include "unit/ControlCommands.h"
#include "unit/ReadDecode.h"

// One direction of one exchange on the wire: the request as sent, or every
// byte received for it (echo, noise and reply alike), as the trace shows them.
struct LinkFrame {
    std::chrono::system_clock::time_point time;  // when it was sent, or the last byte came
    bool sent = true;
    std::vector<std::uint8_t> bytes;
};

class UnitLink : private IFrameEcho {
public:
    // trace: where to log every frame (null: no log).
    UnitLink(const std::string& port, const LineSettings& line, int slave, int waitMs,
             std::FILE* trace);
    // The same on a port set of one's own, whose port 0 is the line, timed on
    // the clock given: the tests' fake device and clock. port only names it.
    UnitLink(ISerialPorts& ports, IClock& clock, const std::string& port, const LineSettings& line,
             int slave, int waitMs, std::FILE* trace);

    // Whether the line echoes the request (link/EchoMode.h); before Open.
    void SetEchoMode(EchoMode mode) { comm_.m_echoMode = mode; }

    // Opens and sets up the port. False with the reason in *why
    // ("cannot open /dev/ttyUSB0: no such device").
    bool Open(std::string* why);
    void Close() { comm_.ClosePort(); }
    bool IsOpen() const { return comm_.IsOpen(); }

    // One read; record.time is when it was made. deviceFailed: the device
    // reported an error or hang-up during the exchange.
    ReadRecord Read(ReadCommand command);
    // Several reads as one record: the values of each in turn; the outcome of
    // the first that got no reply ends it.
    ReadRecord ReadAll(std::initializer_list<ReadCommand> commands);
    // One write command, the way the control page sends it.
    ReadRecord Command(const WriteRequest& request, bool purgeFirst);
    // For polling (watch): after a read that timed out, the next read first
    // listens for the late reply to it (link/LateReply.h) and counts one that
    // comes as a reply to an earlier request, so it never passes for its own.
    void ListenForLateReplies() { listenLate_ = true; }

    // Any request (function code and data) to any device: raw access. On a
    // reply, ReplyFrame() holds it in RTU form (address, function, data, CRC).
    ReadRecord Request(const std::vector<std::uint8_t>& pdu, ExchangeVariant variant);
    const std::uint8_t* ReplyFrame() const { return comm_.m_RecvBuf; }
    // A write to every slave of an RTU line (address 0): sent, no reply
    // awaited, then turnaroundMs of quiet (link/Exchange.h). False when the
    // request could not be sent.
    bool Broadcast(const std::vector<std::uint8_t>& pdu, int turnaroundMs);

    // Called with each request as it is sent and, at the end of its exchange,
    // with the bytes received for it (none: no call). On the link's thread.
    void OnFrame(std::function<void(const LinkFrame&)> observer) { onFrame_ = std::move(observer); }

    bool DeviceFailed() const { return deviceFailed_; }
    // Every exchange since the link was made, by outcome and finding.
    const LinkCounters& Counters() const { return counters_; }
    int WaitMs() const { return static_cast<int>(comm_.m_nWaitTime); }
    // The census asks one address after another, the first try at each with
    // the scan's short wait.
    void SetSlave(int slave) { comm_.m_nSlaveAddr = slave; }
    int SlaveAddress() const { return comm_.m_nSlaveAddr; }
    void SetWaitMs(int waitMs) { comm_.m_nWaitTime = static_cast<std::uint32_t>(waitMs); }
    // A device server (tcp://, mbtcp://) rather than a serial line; after Open.
    bool IsConnection() const {
        return comm_.Device() != nullptr && comm_.Device()->IsConnection();
    }
    const std::string& Port() const { return port_; }
    // The clock the link's exchanges wait on; a read-back waits on it too.
    IClock& Clock() const { return clock_; }

private:
    void ShowSendFrame() override;
    void ShowRecvFrame() override;
    bool ShowsSettlingRead() const override { return true; }
    // The bytes received since the request went out, to the frame observer.
    void EmitReceived();
    // Before a read: the late reply, when one may still come.
    void AwaitLateReply();
    // The record of the exchange that just ran, with the line's diagnosis on
    // a failure; counts it.
    ReadRecord Outcome(const ExchangeResult& result, double ms);
    // A Modbus TCP reply came with another unit id than asked: counted, and
    // said once in the trace.
    void NoteOtherUnit(int unit);

    UnitLink(ISerialPorts* ports, IClock& clock, const std::string& port, const LineSettings& line,
             int slave, int waitMs, std::FILE* trace);

    std::string port_;
    CNamedPort ports_;
    IClock& clock_;
    CModbusComm comm_;  // on ports_, or on the port set given
    std::FILE* trace_;
    int traced_ = 0;  // received bytes already in the log
    std::function<void(const LinkFrame&)> onFrame_;
    LinkFrame received_{{}, false, {}};  // for the observer: what came for this request
    bool deviceFailed_ = false;
    bool listenLate_ = false;
    bool lateMayCome_ = false;  // the last exchange timed out on a working device
    bool otherUnitTraced_ = false;
    LinkCounters counters_;
};

// "no reply within 1500 ms", "exception reply 02 illegal data address (非法数据地址)", "reply"; a
// time-out with its diagnosis: "no reply within 1500 ms: nothing arrived: ...".
std::string OutcomeMessage(const ReadRecord& record, int waitMs);
