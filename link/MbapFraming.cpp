#include "link/MbapFraming.h"

#include <cstring>

#include "link/Crc.h"

namespace {

// The shortest and longest length field: unit id and function code at least,
// a 253-byte PDU at most.
constexpr int kMinLength = 2;
constexpr int kMaxLength = 254;

int LengthField(const std::uint8_t* at) {
    return at[4] << 8 | at[5];
}

bool IsHeader(const std::uint8_t* at) {
    const int length = LengthField(at);
    return at[2] == 0 && at[3] == 0 && length >= kMinLength && length <= kMaxLength;
}

}  // namespace

int BuildMbapFrame(std::uint8_t* out, std::uint16_t transaction, std::uint8_t unit,
                   const std::uint8_t* pdu, int pduLength) {
    const int length = pduLength + 1;
    out[0] = static_cast<std::uint8_t>(transaction >> 8);
    out[1] = static_cast<std::uint8_t>(transaction);
    out[2] = 0;
    out[3] = 0;
    out[4] = static_cast<std::uint8_t>(length >> 8);
    out[5] = static_cast<std::uint8_t>(length);
    out[6] = unit;
    std::memcpy(out + kMbapHeader, pdu, static_cast<std::size_t>(pduLength));
    return kMbapHeader + pduLength;
}

CMbapReplySearch::CMbapReplySearch(const std::uint8_t* request, int requestLength)
    : m_nTransaction(MbapTransaction(request)) {
    const int body = requestLength - (kMbapHeader - 1);
    if (body > 0 && body <= static_cast<int>(sizeof m_rtu)) {
        std::memcpy(m_rtu, request + kMbapHeader - 1, static_cast<std::size_t>(body));
    }
}

ReplyMatch CMbapReplySearch::Search(const std::uint8_t* buf, int len) {
    while (len - m_nScanned >= kMbapHeader) {
        const std::uint8_t* at = buf + m_nScanned;
        if (!IsHeader(at)) {
            ++m_nScanned;  // noise, or the tail of a frame cut off before
            continue;
        }
        const int frameLength = kMbapHeader - 1 + LengthField(at);
        if (len - m_nScanned < frameLength) {
            break;  // the rest of the frame is still on its way
        }
        const int pos = m_nScanned;
        m_nScanned += frameLength;
        if (MbapTransaction(at) != m_nTransaction) {
            ++m_nDiscarded;
            continue;
        }
        // Judged as if it came from the unit asked: the transaction id has
        // already told that it answers this request.
        const int bodyLength = frameLength - (kMbapHeader - 1);
        std::uint8_t body[kMaxLength];
        std::memcpy(body, at + kMbapHeader - 1, static_cast<std::size_t>(bodyLength));
        const int unit = body[0];
        body[0] = m_rtu[0];
        ReplyMatch m;
        m.kind = AnswerOf(body, bodyLength, m_rtu, m.exceptionCode);
        if (m.kind == ReplyKind::None) {
            m_nMismatchPos = pos;
            m_nMismatchLength = frameLength;
            continue;
        }
        m_nOtherUnit = unit != m_rtu[0] ? unit : -1;
        m.pos = pos;
        m.length = frameLength;
        return m;
    }
    return ReplyMatch{};
}

int MbapToRtu(std::uint8_t* buf, int pos, int length) {
    const int body = length - (kMbapHeader - 1);
    std::memmove(buf, buf + pos + kMbapHeader - 1, static_cast<std::size_t>(body));
    const std::uint16_t crc = Crc16(buf, static_cast<std::size_t>(body));
    buf[body] = static_cast<std::uint8_t>(crc >> 8);
    buf[body + 1] = static_cast<std::uint8_t>(crc);
    return body + 2;
}
