#include "master/UnitLink.h"

#include <chrono>

#include "link/HexEcho.h"
#include "link/LateReply.h"
#include "link/LineDiagnosis.h"
#include "link/LineSettings.h"
#include "link/OpenError.h"
#include "link/SerialDevice.h"
#include "master/Diagnosis.h"
#include "master/LocalTime.h"
#include "master/MbapDiagnosis.h"
#include "master/PortOpen.h"
#include "unit/ExceptionText.h"
#include "unit/GbkText.h"
#include "unit/Readings.h"

namespace {

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

UnitLink::UnitLink(const std::string& port, const LineSettings& line, int slave, int waitMs,
                   std::FILE* trace)
    : UnitLink(nullptr, SystemClock(), port, line, slave, waitMs, trace) {}

UnitLink::UnitLink(ISerialPorts& ports, IClock& clock, const std::string& port,
                   const LineSettings& line, int slave, int waitMs, std::FILE* trace)
    : UnitLink(&ports, clock, port, line, slave, waitMs, trace) {}

UnitLink::UnitLink(ISerialPorts* ports, IClock& clock, const std::string& port,
                   const LineSettings& line, int slave, int waitMs, std::FILE* trace)
    : port_(port),
      ports_(port),
      clock_(clock),
      comm_(ports != nullptr ? *ports : ports_, clock),
      trace_(trace) {
    comm_.m_nPort = 0;
    // The options offer only the line's rates; another would fail SetupPort.
    if (!comm_.SetLineSettings(line)) {
        comm_.m_nBaud = -1;
    }
    comm_.m_nSlaveAddr = slave;
    comm_.m_nWaitTime = static_cast<std::uint32_t>(waitMs);
}

bool UnitLink::Open(std::string* why) {
    deviceFailed_ = false;
    if (!OpenNamedPort(comm_, ports_, why)) {
        return false;
    }
    if (comm_.SetupPort() == 0) {
        comm_.ClosePort();
        // The settings are named: a port may take the rate and refuse the
        // parity or the stop bits.
        *why = "cannot open " + port_ + ": not a serial line, or one that does not take " +
               LineName(comm_.Line());
        return false;
    }
    return true;
}

void UnitLink::ShowSendFrame() {
    traced_ = 0;
    received_.bytes.clear();
    const auto now = std::chrono::system_clock::now();
    if (trace_ != nullptr) {
        const std::string line =
            Iso8601Local(now) + " > " + HexBytes(comm_.m_SendBuf, comm_.m_nSendLen);
        std::fprintf(trace_, "%s\n", line.c_str());
        std::fflush(trace_);
    }
    if (onFrame_) {
        onFrame_(LinkFrame{now, true, {comm_.m_SendBuf, comm_.m_SendBuf + comm_.m_nSendLen}});
    }
}

void UnitLink::EmitReceived() {
    if (onFrame_ && !received_.bytes.empty()) {
        onFrame_(received_);
    }
    received_.bytes.clear();
}

void UnitLink::ShowRecvFrame() {
    if (traced_ > comm_.m_nRecvLen) {
        traced_ = 0;  // the count started again after sending
    }
    if (comm_.m_nRecvLen > traced_) {
        const auto now = std::chrono::system_clock::now();
        const std::uint8_t* fresh = comm_.m_RecvBuf + traced_;
        if (trace_ != nullptr) {
            const std::string line =
                Iso8601Local(now) + " < " + HexBytes(fresh, comm_.m_nRecvLen - traced_);
            std::fprintf(trace_, "%s\n", line.c_str());
            std::fflush(trace_);
        }
        received_.time = now;
        received_.bytes.insert(received_.bytes.end(), fresh,
                               static_cast<const std::uint8_t*>(comm_.m_RecvBuf) + comm_.m_nRecvLen);
    }
    traced_ = comm_.m_nRecvLen;
}

ReadRecord UnitLink::Outcome(const ExchangeResult& result, double ms) {
    EmitReceived();
    ReadRecord record;
    const bool mbap = comm_.UsesMbap();
    const LineDiagnosis diagnosis =
        mbap ? MbapDiagnosis(comm_, result) : CLineDiagnosis::OfExchange(comm_, result);
    counters_.Add(diagnosis, ms);
    counters_.AddDiscarded(result.discardedReplies);
    if (result.otherUnit >= 0) {
        NoteOtherUnit(result.otherUnit);
    }
    if (diagnosis.finding != LineFinding::Answered) {
        record.finding = CLineDiagnosis::Name(diagnosis.finding);
        record.diagnosis = mbap ? MbapDiagnosisText(diagnosis, result, comm_.m_SendBuf, WaitMs())
                                : DiagnosisText(diagnosis, WaitMs());
        record.facts = DiagnosisFacts(diagnosis, WaitMs());
    }
    record.time = std::chrono::system_clock::now();
    if (result.outcome != ExchangeOutcome::Timeout) {
        record.responseMs = ms;
    }
    deviceFailed_ = deviceFailed_ || result.deviceFailed;
    lateMayCome_ = result.outcome == ExchangeOutcome::Timeout && !result.deviceFailed;
    switch (result.outcome) {
        case ExchangeOutcome::Reply:
            record.outcome = ReadOutcome::Reply;
            break;
        case ExchangeOutcome::Exception:
            record.outcome = ReadOutcome::Exception;
            record.exceptionCode = result.exceptionCode;
            record.exceptionName = GbkToUtf8(ExceptionName(result.exceptionCode));
            break;
        case ExchangeOutcome::Timeout:
            record.outcome = ReadOutcome::Timeout;
            break;
    }
    return record;
}

void UnitLink::NoteOtherUnit(int unit) {
    counters_.AddOtherUnit();
    if (trace_ != nullptr && !otherUnitTraced_) {
        otherUnitTraced_ = true;
        std::fprintf(trace_,
                     "# the device answers with unit id %d, not %d as asked: its replies are "
                     "taken by their transaction id\n",
                     unit, comm_.m_nSlaveAddr);
        std::fflush(trace_);
    }
}

void UnitLink::AwaitLateReply() {
    // Over Modbus TCP a late reply carries its own transaction id: the next
    // exchange discards and counts it.
    if (!listenLate_ || !lateMayCome_ || !comm_.IsOpen() || comm_.UsesMbap()) {
        return;
    }
    lateMayCome_ = false;
    const int before = comm_.m_nRecvLen;
    if (ListenForLateReply(comm_, clock_)) {
        counters_.AddLateReply();
    }
    if (comm_.m_nRecvLen > before) {
        ShowRecvFrame();
        EmitReceived();
    }
}

ReadRecord UnitLink::Read(ReadCommand command) {
    AwaitLateReply();
    const auto start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    const ReadRequest request = RequestOf(command);
    const ExchangeResult result = RunExchange(comm_, ExchangeVariant::Read, request.function,
                                              request.address, request.quantity, this, clock_);
    ReadRecord record = Outcome(result, MsSince(began));
    record.time = start;
    if (record.outcome == ReadOutcome::Reply) {
        record.values = DecodeReadings(command, comm_.m_RecvBuf, result.replyLength);
    }
    return record;
}

ReadRecord UnitLink::ReadAll(std::initializer_list<ReadCommand> commands) {
    ReadRecord all;
    bool first = true;
    for (ReadCommand command : commands) {
        ReadRecord one = Read(command);
        if (first) {
            all.time = one.time;
            first = false;
        }
        all.outcome = one.outcome;
        all.exceptionCode = one.exceptionCode;
        all.exceptionName = one.exceptionName;
        all.finding = one.finding;
        all.diagnosis = one.diagnosis;
        all.facts = one.facts;
        all.responseMs = one.responseMs ? std::optional<double>(all.responseMs.value_or(0) +
                                                                *one.responseMs)
                                        : std::nullopt;
        if (one.outcome != ReadOutcome::Reply) {
            all.values.clear();  // a scan is whole or it is a failure
            return all;
        }
        all.values.insert(all.values.end(), one.values.begin(), one.values.end());
    }
    return all;
}

ReadRecord UnitLink::Request(const std::vector<std::uint8_t>& pdu, ExchangeVariant variant) {
    if (variant == ExchangeVariant::Read) {
        AwaitLateReply();  // a repeated raw read asks what the late one asked
    }
    const auto start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    const ExchangeResult result =
        RunRequest(comm_, variant, pdu.data(), static_cast<int>(pdu.size()), this, clock_);
    ReadRecord record = Outcome(result, MsSince(began));
    record.time = start;
    return record;
}

bool UnitLink::Broadcast(const std::vector<std::uint8_t>& pdu, int turnaroundMs) {
    return SendBroadcast(comm_, pdu.data(), static_cast<int>(pdu.size()), this,
                         static_cast<std::uint32_t>(turnaroundMs), clock_);
}

ReadRecord UnitLink::Command(const WriteRequest& request, bool purgeFirst) {
    const ExchangeVariant variant = request.function == 0x05 ? ExchangeVariant::SystemCommand
                                    : purgeFirst             ? ExchangeVariant::PurgingModuleCommand
                                                             : ExchangeVariant::ModuleCommand;
    const auto start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    const ExchangeResult result =
        RunExchange(comm_, variant, request.function, request.address, request.value, this, clock_);
    ReadRecord record = Outcome(result, MsSince(began));
    record.time = start;
    return record;
}

std::string OutcomeMessage(const ReadRecord& record, int waitMs) {
    switch (record.outcome) {
        case ReadOutcome::Reply:
            return "reply";
        case ReadOutcome::Timeout:
            // A closed connection ends the wait at once: no time to name.
            return (record.finding == CLineDiagnosis::Name(LineFinding::PeerClosed)
                        ? std::string("no reply")
                        : "no reply within " + std::to_string(waitMs) + " ms") +
                   (record.diagnosis.empty() ? std::string() : ": " + record.diagnosis);
        case ReadOutcome::Exception: {
            const std::string hint = ExceptionHint(record.exceptionCode);
            return "exception reply " + ExceptionText(record) + (hint.empty() ? "" : ": " + hint);
        }
    }
    return {};
}
