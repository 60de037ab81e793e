#include "link/ReplyMatch.h"

#include <algorithm>
#include <cstring>

#include "link/Crc.h"

namespace {

// The byte count a reply to this read request carries, or -1 for other functions.
int ExpectedByteCount(const std::uint8_t* request) {
    const int quantity = request[4] << 8 | request[5];
    switch (request[1]) {
        case 0x01:
        case 0x02:
            return (quantity + 7) / 8;
        case 0x03:
        case 0x04:
            return 2 * quantity;
        default:
            return -1;
    }
}

// 43/14 Read Device Identification: MEI type, the read code asked, conformity
// level, more follows (00 or FF), next object id and object count, then that
// many objects of id, length and value, which fill the frame exactly.
bool IsDeviceIdReply(const std::uint8_t* body, int length, const std::uint8_t* request) {
    constexpr int kObjectsAt = 8;
    if (length < kObjectsAt || body[2] != kMeiDeviceId || body[3] != request[3] ||
        (body[5] != 0x00 && body[5] != 0xFF)) {
        return false;
    }
    int at = kObjectsAt;
    for (int n = body[7]; n > 0; --n) {
        if (length - at < 2) {
            return false;
        }
        at += 2 + body[at + 1];
    }
    return at == length;
}

bool AnswersRequest(const std::uint8_t* body, int length, const std::uint8_t* request) {
    const std::uint8_t function = request[1];
    switch (function) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04: {
            const int n = ExpectedByteCount(request);
            return body[1] == function && length >= 3 && body[2] == n && length == n + 3;
        }
        case 0x05:
        case 0x06:
        case 0x0F:
        case 0x10:
            // 05/06 echo the request; 15/16 repeat its address and quantity.
            return length == 6 && std::memcmp(body, request, 6) == 0;
        case 0x11:
            // Byte count, then the server id, run indicator and device data.
            return body[1] == function && length >= 4 && body[2] == length - 3;
        case 0x2B:
            return body[1] == function && request[2] == kMeiDeviceId &&
                   IsDeviceIdReply(body, length, request);
        default:
            return body[1] == function;
    }
}

// The candidate that starts at i and runs to the end of the buffer, if it is
// a frame from the slave with a valid CRC that answers the request.
bool MatchAt(const std::uint8_t* buf, int len, int i, int slaveAddr, const std::uint8_t* request,
             ReplyMatch& m) {
    const int length = len - i;
    if (i < 0 || length < 4 || static_cast<int>(buf[i]) != slaveAddr) {
        return false;
    }
    if (!EndsInOwnCrc(buf + i, static_cast<std::size_t>(length))) {
        return false;
    }
    m.kind = AnswerOf(buf + i, length - 2, request, m.exceptionCode);
    if (m.kind == ReplyKind::None) {
        return false;
    }
    m.pos = i;
    m.length = length;
    return true;
}

// The length a reply to this request has, or -1 when it is not known.
int ExpectedReplyLength(const std::uint8_t* request) {
    switch (request[1]) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
            return ExpectedByteCount(request) + 5;
        case 0x05:
        case 0x06:
        case 0x0F:
        case 0x10:
            return 8;
        default:
            return -1;
    }
}

}  // namespace

int RequestLength(const std::uint8_t* request) {
    switch (request[1]) {
        case 0x0F:
        case 0x10:
            return 9 + request[6];
        case 0x11:
            return 4;  // address, function, CRC
        case 0x2B:
            return 7;  // address, function, MEI type, read code, object id, CRC
        default:
            return 8;
    }
}

bool CopyNeverAnswers(std::uint8_t function) {
    return (function >= 0x01 && function <= 0x04) || function == 0x0F || function == 0x10 ||
           function == 0x11 || function == 0x2B;
}

ReplyKind AnswerOf(const std::uint8_t* body, int length, const std::uint8_t* request,
                   std::uint8_t& exceptionCode) {
    if (length < 2) {
        return ReplyKind::None;
    }
    if (AnswersRequest(body, length, request)) {
        return ReplyKind::Reply;
    }
    if (length == 3 && body[1] == (request[1] | 0x80)) {
        exceptionCode = body[2];
        return ReplyKind::Exception;
    }
    return ReplyKind::None;
}

ReplyMatch FindReply(const std::uint8_t* buf, int len, int slaveAddr, const std::uint8_t* request) {
    ReplyMatch m;
    const int expected = ExpectedReplyLength(request);
    if (expected > 0) {
        // Only a frame of the reply's length or of an exception's (5) can
        // answer, so only the two starts that give those lengths need a CRC:
        // the search order stays that of the plain search (lower start first),
        // and noise in front of the reply costs nothing.
        const int first = len - std::max(expected, 5);
        const int second = len - std::min(expected, 5);
        if (MatchAt(buf, len, first, slaveAddr, request, m) ||
            (second != first && MatchAt(buf, len, second, slaveAddr, request, m))) {
            return m;
        }
        return ReplyMatch{};
    }
    for (int i = 0; i < len; ++i) {
        if (static_cast<int>(buf[i]) != slaveAddr) {
            continue;
        }
        if (len - i < 4) {
            break;
        }
        if (MatchAt(buf, len, i, slaveAddr, request, m)) {
            return m;
        }
    }
    return ReplyMatch{};
}

int FindRequestCopy(const std::uint8_t* buf, int len, const std::uint8_t* request, bool anywhere) {
    const int requestLength = RequestLength(request);
    const int last = anywhere ? len - requestLength : std::min(0, len - requestLength);
    for (int i = 0; i <= last; ++i) {
        if (std::memcmp(buf + i, request, static_cast<std::size_t>(requestLength)) == 0) {
            return i;
        }
    }
    return -1;
}

bool IsRequestPrefix(const std::uint8_t* buf, int len, const std::uint8_t* request) {
    const int n = std::min(len, RequestLength(request));
    return std::memcmp(buf, request, static_cast<std::size_t>(n)) == 0;
}
