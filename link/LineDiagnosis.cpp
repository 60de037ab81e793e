#include "link/LineDiagnosis.h"

#include <algorithm>
#include <cstring>

#include "link/Crc.h"
#include "link/ModbusComm.h"
#include "link/ReplyMatch.h"

int CLineDiagnosis::FrameLength(const std::uint8_t* at, int available) {
    if (available < 2) {
        return 0;
    }
    const std::uint8_t function = at[1];
    if ((function & 0x80) != 0) {
        return 5;  // address, function | 0x80, exception code, CRC
    }
    switch (function) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
            return available < 3 ? 0 : at[2] + 5;  // address, function, count, data, CRC
        case 0x05:
        case 0x06:
        case 0x0F:
        case 0x10:
            return 8;
        default:
            return 0;
    }
}

LineDiagnosis CLineDiagnosis::Classify(const std::uint8_t* request, const std::uint8_t* received,
                                       int length, int slaveAddr, bool echoRemoved) {
    LineDiagnosis d;
    d.echoSeen = echoRemoved;
    if (!echoRemoved && FindRequestCopy(received, length, request, false) == 0) {
        // The line echoed although the exchange did not expect it to.
        d.echoSeen = true;
        received += 8;
        length -= 8;
    }
    if (length <= 0) {
        d.finding = d.echoSeen ? LineFinding::EchoOnly : LineFinding::Nothing;
        return d;
    }
    // Every valid frame in the bytes, by the length its header gives; the one
    // that tells most wins: an exception of ours, then any other frame of
    // ours, then a frame of another slave.
    bool ours = false;
    bool other = false;
    for (int i = 0; i < length; ++i) {
        const int n = FrameLength(received + i, length - i);
        if (n < 4 || n > length - i) {
            continue;
        }
        const std::uint8_t* f = received + i;
        if (!EndsInOwnCrc(f, static_cast<std::size_t>(n))) {
            continue;
        }
        if (f[0] == slaveAddr) {
            if (n == 5 && f[1] == (request[1] | 0x80)) {
                d.finding = LineFinding::Exception;
                d.exceptionCode = f[2];
                return d;
            }
            if (!ours && FindReply(f, n, slaveAddr, request).kind != ReplyKind::Reply) {
                ours = true;
                d.function = f[1];
            }
        } else if (!ours && !other) {
            other = true;
            d.otherSlave = f[0];
            d.function = f[1];
        }
    }
    if (ours) {
        d.finding = LineFinding::EarlierReply;
        d.otherSlave = 0;
    } else if (other) {
        d.finding = LineFinding::OtherSlave;
    } else {
        d.finding = LineFinding::NoFrame;
        d.firstBytes.assign(received, received + std::min(length, kShownBytes));
    }
    return d;
}

LineDiagnosis CLineDiagnosis::OfExchange(const CModbusComm& comm, const ExchangeResult& result) {
    LineDiagnosis d;
    d.echoSeen = result.echoRemoved;
    switch (result.outcome) {
        case ExchangeOutcome::Reply:
            d.finding = LineFinding::Answered;
            return d;
        case ExchangeOutcome::Exception:
            d.finding = LineFinding::Exception;
            d.exceptionCode = result.exceptionCode;
            return d;
        case ExchangeOutcome::Timeout:
            break;
    }
    const int from = std::min(result.afterEcho, comm.m_nRecvLen);
    d = Classify(comm.m_SendBuf, comm.m_RecvBuf + from, comm.m_nRecvLen - from, comm.m_nSlaveAddr,
                 result.echoRemoved);
    d.echoAltered = result.echoMismatch;
    return d;
}

const char* CLineDiagnosis::Name(LineFinding finding) {
    switch (finding) {
        case LineFinding::Nothing:
            return "nothing";
        case LineFinding::EchoOnly:
            return "echo-only";
        case LineFinding::NoFrame:
            return "no-frame";
        case LineFinding::OtherSlave:
            return "other-slave";
        case LineFinding::EarlierReply:
            return "earlier-reply";
        case LineFinding::Exception:
            return "exception";
        case LineFinding::Answered:
            return "answered";
    }
    return "?";
}
