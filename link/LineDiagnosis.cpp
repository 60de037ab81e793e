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

bool CLineDiagnosis::AnswersButForCrc(const std::uint8_t* f, int n, int slaveAddr,
                                      const std::uint8_t* request) {
    std::vector<std::uint8_t> mended(f, f + n - 2);
    AppendCrc(mended);
    const ReplyMatch m = FindReply(mended.data(), n, slaveAddr, request);
    return m.kind != ReplyKind::None && m.pos == 0 && m.length == n;
}

LineDiagnosis CLineDiagnosis::Classify(const std::uint8_t* request, const std::uint8_t* received,
                                       int length, int slaveAddr, bool echoRemoved) {
    LineDiagnosis d;
    d.echoSeen = echoRemoved;
    if (!echoRemoved && FindRequestCopy(received, length, request, false) == 0) {
        // The line echoed although the exchange did not expect it to.
        d.echoSeen = true;
        received += RequestLength(request);
        length -= RequestLength(request);
    }
    if (length <= 0) {
        d.finding = d.echoSeen ? LineFinding::EchoOnly : LineFinding::Nothing;
        return d;
    }
    // Every frame in the bytes, by the length its header gives; the one that
    // tells most wins: an exception of ours, then the reply to this request
    // spoilt only in its CRC, then any other frame of ours, then a frame of
    // another slave.
    int crcAt = -1, crcLength = 0, oursAt = -1, otherAt = -1;
    for (int i = 0; i < length; ++i) {
        const int n = FrameLength(received + i, length - i);
        if (n < 4 || n > length - i) {
            continue;
        }
        const std::uint8_t* f = received + i;
        if (!EndsInOwnCrc(f, static_cast<std::size_t>(n))) {
            if (crcAt < 0 && AnswersButForCrc(f, n, slaveAddr, request)) {
                crcAt = i;
                crcLength = n;
            }
        } else if (f[0] != slaveAddr) {
            otherAt = otherAt < 0 ? i : otherAt;
        } else if (n == 5 && f[1] == (request[1] | 0x80)) {
            d.finding = LineFinding::Exception;
            d.exceptionCode = f[2];
            return d;
        } else if (oursAt < 0 && FindReply(f, n, slaveAddr, request).kind != ReplyKind::Reply) {
            oursAt = i;
        }
    }
    if (crcAt >= 0) {
        d.finding = LineFinding::CrcError;
        d.bytes.assign(received + crcAt, received + crcAt + crcLength);
    } else if (oursAt >= 0) {
        d.finding = LineFinding::EarlierReply;
        d.function = received[oursAt + 1];
    } else if (otherAt >= 0) {
        d.finding = LineFinding::OtherSlave;
        d.otherSlave = received[otherAt];
        d.function = received[otherAt + 1];
    } else {
        d.finding = LineFinding::NoFrame;
        d.bytes.assign(received, received + std::min(length, kShownBytes));
        d.damagedReply = DamagedReply(request, received, length, slaveAddr);
    }
    return d;
}

bool CLineDiagnosis::DamagedReply(const std::uint8_t* request, const std::uint8_t* received,
                                  int length, int slaveAddr) {
    if (length < 2 || received[0] != slaveAddr || (received[1] & 0x7F) != request[1]) {
        return false;
    }
    // The reply's length from the request: 01/02 a bit an input, 03/04 two
    // bytes a register, writes 8 bytes; an exception is shorter than all.
    const int quantity = (request[4] << 8) | request[5];
    int reply = 256;
    switch (request[1]) {
        case 0x01:
        case 0x02:
            reply = 5 + (quantity + 7) / 8;
            break;
        case 0x03:
        case 0x04:
            reply = 5 + 2 * quantity;
            break;
        case 0x05:
        case 0x06:
        case 0x0F:
        case 0x10:
            reply = 8;
            break;
        default:
            break;
    }
    return length <= reply;
}

LineDiagnosis CLineDiagnosis::AlteredCopy(const std::uint8_t* request, const std::uint8_t* received,
                                          int length, int slaveAddr) {
    LineDiagnosis d;
    d.finding = LineFinding::EchoAltered;
    // What stands before a whole reply to the request is the copy; without
    // one, the copy's eight bytes' worth.
    int copyLength = std::min(length, 8);
    if (length > 1) {
        const ReplyMatch m = FindReply(received + 1, length - 1, slaveAddr, request);
        if (m.kind != ReplyKind::None) {
            copyLength = m.pos + 1;
            d.replyAfterCopy = true;
        }
    }
    d.bytes.assign(received, received + std::min(copyLength, kShownBytes));
    return d;
}

namespace {

LineDiagnosis OfTimeout(const CModbusComm& comm, const ExchangeResult& result) {
    const std::uint8_t* request = comm.m_SendBuf;
    const ISerialDevice* device = comm.Device();
    if (device != nullptr && device->Ended()) {
        // Nothing more can come: whatever arrived, the closing is the news.
        LineDiagnosis d;
        d.finding = LineFinding::PeerClosed;
        d.echoSeen = result.echoRemoved;
        d.bytes.assign(comm.m_RecvBuf,
                       comm.m_RecvBuf + std::min(comm.m_nRecvLen, CLineDiagnosis::kShownBytes));
        return d;
    }
    if (result.echoMismatch) {
        return CLineDiagnosis::AlteredCopy(request, comm.m_RecvBuf, comm.m_nRecvLen,
                                           comm.m_nSlaveAddr);
    }
    const int from = std::min(result.afterEcho, comm.m_nRecvLen);
    LineDiagnosis d =
        CLineDiagnosis::Classify(request, comm.m_RecvBuf + from, comm.m_nRecvLen - from,
                                 comm.m_nSlaveAddr, result.echoRemoved);
    // With echo on the echo is assumed, not seen to be there: the one copy of
    // a 05/06 request, which is also what the unit's reply looks like, may
    // have been that reply on a line that does not echo.
    const bool write = request[1] == 0x05 || request[1] == 0x06;
    if (d.finding == LineFinding::EchoOnly && write && comm.m_echoMode == EchoMode::On &&
        comm.m_nRecvLen == 8 && FindRequestCopy(comm.m_RecvBuf, 8, request, false) == 0) {
        d.finding = LineFinding::LoneCopy;
    }
    return d;
}

}  // namespace

LineDiagnosis CLineDiagnosis::OfExchange(const CModbusComm& comm, const ExchangeResult& result) {
    LineDiagnosis d;
    switch (result.outcome) {
        case ExchangeOutcome::Reply:
            d.finding = LineFinding::Answered;
            d.echoSeen = result.echoRemoved;
            break;
        case ExchangeOutcome::Exception:
            d.finding = LineFinding::Exception;
            d.exceptionCode = result.exceptionCode;
            d.echoSeen = result.echoRemoved;
            break;
        case ExchangeOutcome::Timeout:
            d = OfTimeout(comm, result);
            break;
    }
    d.connection = comm.Device() != nullptr && comm.Device()->IsConnection();
    return d;
}

const char* CLineDiagnosis::Name(LineFinding finding) {
    switch (finding) {
        case LineFinding::Nothing:
            return "nothing";
        case LineFinding::EchoOnly:
            return "echo-only";
        case LineFinding::LoneCopy:
            return "lone-copy";
        case LineFinding::EchoAltered:
            return "echo-altered";
        case LineFinding::NoFrame:
            return "no-frame";
        case LineFinding::CrcError:
            return "crc-error";
        case LineFinding::OtherSlave:
            return "other-slave";
        case LineFinding::EarlierReply:
            return "earlier-reply";
        case LineFinding::PeerClosed:
            return "peer-closed";
        case LineFinding::Exception:
            return "exception";
        case LineFinding::Answered:
            return "answered";
    }
    return "?";
}
