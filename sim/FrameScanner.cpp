#include "sim/FrameScanner.h"

#include "link/Crc.h"

namespace {

constexpr std::size_t kMinFrame = 4;    // address, function, CRC
constexpr std::size_t kMaxFrame = 256;  // the RTU limit

// The request length that the function code fixes, the position of a byte
// count that adds to it, or neither (0, 0).
struct Shape {
    std::size_t fixed;    // length without the counted bytes; 0 = not known
    std::size_t countAt;  // position of the byte count; 0 = none
};

Shape ShapeOf(std::uint8_t function) {
    switch (function) {
        case 0x01:  // read coils
        case 0x02:  // read discrete inputs
        case 0x03:  // read holding registers
        case 0x04:  // read input registers
        case 0x05:  // write single coil
        case 0x06:  // write single register
        case 0x08:  // diagnostics with one data word
            return {8, 0};
        case 0x07:  // read exception status
        case 0x0B:  // get comm event counter
        case 0x0C:  // get comm event log
        case 0x11:  // report server id
            return {4, 0};
        case 0x0F:  // write multiple coils
        case 0x10:  // write multiple registers
            return {9, 6};
        case 0x16:  // mask write register
            return {10, 0};
        case 0x17:  // read/write multiple registers
            return {13, 10};
        default:
            return {0, 0};
    }
}

}  // namespace

void CFrameScanner::Feed(const std::uint8_t* data, std::size_t length) {
    m_buf.insert(m_buf.end(), data, data + length);
    if (m_buf.size() > kMaxPending) {
        Drop(m_buf.size() - kMaxPending);
    }
}

void CFrameScanner::Drop(std::size_t count) {
    m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(count));
    m_nDropped += count;
}

CFrameScanner::Candidate CFrameScanner::Examine(std::size_t pos, std::size_t& length,
                                                bool searchUnknown) const {
    const std::size_t avail = m_buf.size() - pos;
    if (avail < 2) {
        return Candidate::Incomplete;
    }
    const std::uint8_t* p = m_buf.data() + pos;
    const Shape shape = ShapeOf(p[1]);
    if (shape.fixed == 0) {
        if (!searchUnknown) {
            return Candidate::Incomplete;
        }
        // A function whose length we do not know: the shortest run that ends
        // in its own CRC is the frame.
        for (std::size_t n = kMinFrame; n <= avail && n <= kMaxFrame; ++n) {
            if (EndsInOwnCrc(p, n)) {
                length = n;
                return Candidate::Complete;
            }
        }
        return avail >= kMaxFrame ? Candidate::Bad : Candidate::Incomplete;
    }
    std::size_t need = shape.fixed;
    if (shape.countAt != 0) {
        if (avail <= shape.countAt) {
            return Candidate::Incomplete;
        }
        need += p[shape.countAt];
    }
    if (avail < need) {
        return Candidate::Incomplete;
    }
    if (!EndsInOwnCrc(p, need)) {
        return Candidate::Bad;
    }
    length = need;
    return Candidate::Complete;
}

bool CFrameScanner::Next(std::vector<std::uint8_t>& frame) {
    while (!m_buf.empty()) {
        std::size_t length = 0;
        switch (Examine(0, length)) {
            case Candidate::Complete:
                frame.assign(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(length));
                m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(length));
                return true;
            case Candidate::Bad:
                Drop(1);
                continue;
            case Candidate::Incomplete:
                break;
        }
        // The head waits for more bytes. If a whole valid frame already
        // follows, the head was noise after all. (Only functions of known
        // length are looked for there: a search by CRC at every position would
        // cost too much on a long run of noise.)
        for (std::size_t pos = 1; pos + kMinFrame <= m_buf.size(); ++pos) {
            std::size_t n = 0;
            if (Examine(pos, n, false) == Candidate::Complete) {
                Drop(pos);
                break;
            }
        }
        if (Examine(0, length) != Candidate::Complete) {
            return false;
        }
    }
    return false;
}
