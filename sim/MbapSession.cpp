#include "sim/MbapSession.h"

#include "link/Crc.h"
#include "link/MbapFraming.h"

namespace {

// Unit id and function code at least, a 253-byte PDU at most.
constexpr std::size_t kMinLength = 2;
constexpr std::size_t kMaxLength = 254;

// The event's reply frame (RTU, CRC at the end) behind the request's header.
// A frame spoilt on the line (the corrupt fault) never reaches the network: a
// gateway checks the CRC and drops it, so the client hears nothing.
void Wrap(SimEvent& ev, const std::uint8_t* header) {
    if (ev.frame.size() < 3 || !EndsInOwnCrc(ev.frame.data(), ev.frame.size())) {
        ev.chunks.clear();
        return;
    }
    const std::size_t body = ev.frame.size() - 2;
    std::vector<std::uint8_t> reply(header, header + 4);
    reply.push_back(static_cast<std::uint8_t>(body >> 8));
    reply.push_back(static_cast<std::uint8_t>(body));
    reply.insert(reply.end(), ev.frame.begin(), ev.frame.begin() + static_cast<long>(body));
    std::uint32_t gap = 0;
    for (const SimChunk& c : ev.chunks) {
        gap += c.gapMs;
    }
    ev.chunks = {SimChunk{gap, reply}};
}

}  // namespace

std::vector<SimEvent> CMbapSession::Feed(CSimEngine& engine, const std::uint8_t* data,
                                         std::size_t length, double nowMs) {
    m_buf.insert(m_buf.end(), data, data + length);
    std::vector<SimEvent> events;
    std::size_t pos = 0;
    while (m_buf.size() - pos >= static_cast<std::size_t>(kMbapHeader)) {
        const std::uint8_t* at = m_buf.data() + pos;
        const std::size_t size = static_cast<std::size_t>(at[4] << 8 | at[5]);
        if (at[2] != 0 || at[3] != 0 || size < kMinLength || size > kMaxLength) {
            ++pos;  // not a header: a device drops what it cannot read
            continue;
        }
        if (m_buf.size() - pos < 6 + size) {
            break;
        }
        std::vector<std::uint8_t> rtu(at + 6, at + 6 + size);
        AppendCrc(rtu);
        for (SimEvent& ev : engine.Feed(rtu.data(), rtu.size(), nowMs)) {
            Wrap(ev, at);
            events.push_back(std::move(ev));
        }
        pos += 6 + size;
    }
    m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<long>(pos));
    return events;
}
