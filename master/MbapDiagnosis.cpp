#include "master/MbapDiagnosis.h"

#include <algorithm>

#include "link/HexEcho.h"
#include "link/MbapFraming.h"
#include "master/Diagnosis.h"
#include "master/MbapMismatch.h"

LineDiagnosis MbapDiagnosis(const CModbusComm& comm, const ExchangeResult& result) {
    LineDiagnosis d;
    d.connection = true;
    const int shown = std::min(comm.m_nRecvLen, CLineDiagnosis::kShownBytes);
    if (result.outcome == ExchangeOutcome::Exception) {
        d.finding = LineFinding::Exception;
        d.exceptionCode = result.exceptionCode;
    } else if (result.outcome == ExchangeOutcome::Reply) {
        d.finding = LineFinding::Answered;
    } else if (comm.Device() != nullptr && comm.Device()->Ended()) {
        d.finding = LineFinding::PeerClosed;
        d.bytes.assign(comm.m_RecvBuf, comm.m_RecvBuf + shown);
    } else if (!result.mismatch.empty()) {
        d.finding = LineFinding::NoFrame;
        d.bytes.assign(result.mismatch.begin(),
                       result.mismatch.begin() +
                           std::min(static_cast<int>(result.mismatch.size()),
                                    CLineDiagnosis::kShownBytes));
    } else if (result.discardedReplies > 0) {
        d.finding = LineFinding::EarlierReply;
        d.function = comm.m_SendBuf[kMbapHeader];
    } else if (comm.m_nRecvLen > 0) {
        d.finding = LineFinding::NoFrame;
        d.bytes.assign(comm.m_RecvBuf, comm.m_RecvBuf + shown);
    }
    return d;
}

std::string MbapDiagnosisText(const LineDiagnosis& d, const ExchangeResult& result,
                              const std::uint8_t* request, int waitMs) {
    if (d.finding == LineFinding::NoFrame && !result.mismatch.empty()) {
        return "a frame with this request's transaction id that does not answer it (" +
               ShownBytes(d) + "): " +
               MbapMismatch(result.mismatch.data(), static_cast<int>(result.mismatch.size()),
                            request);
    }
    switch (d.finding) {
        case LineFinding::Nothing:
            return "nothing arrived: check the unit id (--slave), that the gateway reaches the "
                   "device, and its own time-out";
        case LineFinding::NoFrame:
            return "bytes that are no Modbus TCP reply to this request (" + ShownBytes(d) +
                   "): if the device server passes RTU frames through, use tcp:// instead";
        case LineFinding::PeerClosed:
            return "the device closed the connection: it may expect RTU over TCP (tcp://) "
                   "rather than Modbus TCP, or serve one client at a time" +
                   (d.bytes.empty() ? std::string() : " (it sent " + ShownBytes(d) + " first)");
        case LineFinding::EarlierReply:
            return std::to_string(result.discardedReplies) +
                   " reply(s) with another transaction id discarded: a late reply to an earlier "
                   "request, or a gateway that mixes up transactions; raise --wait (now " +
                   std::to_string(waitMs) + " ms)";
        default:
            return DiagnosisText(d, waitMs);
    }
}
