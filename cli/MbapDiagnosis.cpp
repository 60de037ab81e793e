#include "cli/MbapDiagnosis.h"

#include <algorithm>

#include "cli/Diagnosis.h"
#include "link/HexEcho.h"
#include "link/MbapFraming.h"

LineDiagnosis MbapDiagnosis(const CModbusComm& comm, const ExchangeResult& result) {
    LineDiagnosis d;
    if (result.outcome == ExchangeOutcome::Exception) {
        d.finding = LineFinding::Exception;
        d.exceptionCode = result.exceptionCode;
    } else if (result.outcome == ExchangeOutcome::Reply) {
        d.finding = LineFinding::Answered;
    } else if (result.discardedReplies > 0) {
        d.finding = LineFinding::EarlierReply;
        d.function = comm.m_SendBuf[kMbapHeader];
    } else if (comm.m_nRecvLen > 0) {
        d.finding = LineFinding::NoFrame;
        const int n = std::min(comm.m_nRecvLen, CLineDiagnosis::kShownBytes);
        d.firstBytes.assign(comm.m_RecvBuf, comm.m_RecvBuf + n);
    }
    return d;
}

std::string MbapDiagnosisText(const LineDiagnosis& d, const ExchangeResult& result, int waitMs) {
    switch (d.finding) {
        case LineFinding::Nothing:
            return "nothing arrived: check the unit id (--slave), that the gateway reaches the "
                   "device, and its own time-out";
        case LineFinding::NoFrame:
            return "bytes that are no Modbus TCP reply to this request (" +
                   HexBytes(d.firstBytes.data(), static_cast<int>(d.firstBytes.size())) +
                   "): if the device server passes RTU frames through, use tcp:// instead";
        case LineFinding::EarlierReply:
            return std::to_string(result.discardedReplies) +
                   " reply(s) with another transaction id discarded: a late reply to an earlier "
                   "request, or a gateway that mixes up transactions; raise --wait (now " +
                   std::to_string(waitMs) + " ms)";
        default:
            return DiagnosisText(d, waitMs);
    }
}
