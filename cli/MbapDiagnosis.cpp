#include "cli/MbapDiagnosis.h"

#include <algorithm>

#include "cli/Diagnosis.h"
#include "link/HexEcho.h"
#include "link/MbapFraming.h"

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

namespace {

std::string Shown(const LineDiagnosis& d) {
    return HexBytes(d.bytes.data(), static_cast<int>(d.bytes.size()));
}

std::string Word(const std::uint8_t* at) {
    return std::to_string(at[0] << 8 | at[1]);
}

std::string Hex(std::uint8_t value) {
    return HexBytes(&value, 1);
}

// What a write's reply confirms against what was asked: 05/06 repeat the
// address and value, 15/16 the start and quantity.
std::string Confirms(const std::uint8_t* pdu, int length, const std::uint8_t* asked) {
    const char* second = asked[0] == 0x05 || asked[0] == 0x06 ? " value " : " quantity ";
    if (length != 5) {
        return std::to_string(length - 1) + " bytes after the function code, expected 4";
    }
    return "confirms address " + Word(pdu + 1) + second + Word(pdu + 3) + ", expected address " +
           Word(asked + 1) + second + Word(asked + 3);
}

}  // namespace

std::string MbapMismatch(const std::uint8_t* frame, int length, const std::uint8_t* request) {
    const std::uint8_t* pdu = frame + kMbapHeader;
    const std::uint8_t* asked = request + kMbapHeader;
    const int pduLength = length - kMbapHeader;
    const std::uint8_t function = asked[0];
    if (pdu[0] == (function | 0x80)) {
        return "an exception frame of " + std::to_string(pduLength) + " bytes, expected 2";
    }
    if (pdu[0] != function) {
        return "function " + Hex(pdu[0]) + ", expected " + Hex(function);
    }
    if (function >= 0x01 && function <= 0x04) {
        const int quantity = asked[3] << 8 | asked[4];
        const int expected = function <= 0x02 ? (quantity + 7) / 8 : 2 * quantity;
        if (pduLength < 2 || pdu[1] != expected) {
            return "byte count " + (pduLength < 2 ? std::string("missing") : std::to_string(pdu[1])) +
                   ", expected " + std::to_string(expected);
        }
        return "byte count " + std::to_string(expected) + " with " +
               std::to_string(pduLength - 2) + " data bytes";
    }
    if (function == 0x05 || function == 0x06 || function == 0x0F || function == 0x10) {
        return Confirms(pdu, pduLength, asked);
    }
    return "length " + std::to_string(pduLength);
}

std::string MbapDiagnosisText(const LineDiagnosis& d, const ExchangeResult& result,
                              const std::uint8_t* request, int waitMs) {
    if (d.finding == LineFinding::NoFrame && !result.mismatch.empty()) {
        return "a frame with this request's transaction id that does not answer it (" +
               Shown(d) + "): " +
               MbapMismatch(result.mismatch.data(), static_cast<int>(result.mismatch.size()),
                            request);
    }
    switch (d.finding) {
        case LineFinding::Nothing:
            return "nothing arrived: check the unit id (--slave), that the gateway reaches the "
                   "device, and its own time-out";
        case LineFinding::NoFrame:
            return "bytes that are no Modbus TCP reply to this request (" + Shown(d) +
                   "): if the device server passes RTU frames through, use tcp:// instead";
        case LineFinding::PeerClosed:
            return "the device closed the connection: it may expect RTU over TCP (tcp://) "
                   "rather than Modbus TCP, or serve one client at a time" +
                   (d.bytes.empty() ? std::string() : " (it sent " + Shown(d) + " first)");
        case LineFinding::EarlierReply:
            return std::to_string(result.discardedReplies) +
                   " reply(s) with another transaction id discarded: a late reply to an earlier "
                   "request, or a gateway that mixes up transactions; raise --wait (now " +
                   std::to_string(waitMs) + " ms)";
        default:
            return DiagnosisText(d, waitMs);
    }
}
