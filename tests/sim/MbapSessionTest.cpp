// k40sim as a Modbus TCP device: MBAP requests in whatever pieces TCP
// delivers them, and the replies behind their requests' headers.
#include "sim/MbapSession.h"

#include <gtest/gtest.h>

#include "tests/support/TestFrames.h"

namespace {

Bytes Mbap(std::uint16_t tid, const Bytes& body) {
    Bytes f = {static_cast<std::uint8_t>(tid >> 8), static_cast<std::uint8_t>(tid), 0, 0, 0,
               static_cast<std::uint8_t>(body.size())};
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

Bytes Sent(const SimEvent& ev) {
    Bytes all;
    for (const SimChunk& c : ev.chunks) {
        all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    }
    return all;
}

const Bytes kReadStatus = {1, 0x03, 0x00, 0x00, 0x00, 0x01};  // holding register 0
const Bytes kStatusReply = {1, 0x03, 2, 0x00, 0x02};          // automatic, float charge

struct Case {
    const char* name;
    std::vector<Bytes> pieces;  // as the connection delivers them
    std::vector<Bytes> replies;
    std::vector<FaultSpec> faults;
};

const Case kCases[] = {
    {"one request", {Mbap(7, kReadStatus)}, {Mbap(7, kStatusReply)}, {}},
    {"two in one read",
     {[] {
         Bytes two = Mbap(7, kReadStatus);
         const Bytes second = Mbap(0x1234, kReadStatus);
         two.insert(two.end(), second.begin(), second.end());
         return two;
     }()},
     {Mbap(7, kStatusReply), Mbap(0x1234, kStatusReply)}, {}},
    {"header in pieces", {{0, 9, 0}, {0, 0, 6, 1}, {0x03, 0, 0, 0, 1}}, {Mbap(9, kStatusReply)}, {}},
    {"after noise", {{0xFF, 0x01, 0x02}, Mbap(3, kReadStatus)}, {Mbap(3, kStatusReply)}, {}},
    {"another unit", {Mbap(3, {2, 0x03, 0, 0, 0, 1})}, {}, {}},
    {"input registers: illegal function", {Mbap(4, {1, 0x04, 0, 0, 0, 1})},
     {Mbap(4, {1, 0x84, 0x01})}, {}},
    {"write multiple: illegal function", {Mbap(5, {1, 0x10, 0, 0, 0, 1, 2, 0, 7})},
     {Mbap(5, {1, 0x90, 0x01})}, {}},
    {"split on the line", {Mbap(6, kReadStatus)}, {Mbap(6, kStatusReply)},
     {{FaultKind::Split, 100}}},
    {"corrupt on the line: dropped", {Mbap(6, kReadStatus)}, {}, {{FaultKind::Corrupt, 100}}},
};

TEST(MbapSession, RequestsAreFoundAndRepliesCarryTheirTransactionId) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SimEngineConfig config;
        config.drift = false;
        config.faults = c.faults;
        CSimEngine engine(config);
        CMbapSession session;
        std::vector<Bytes> replies;
        for (const Bytes& piece : c.pieces) {
            for (const SimEvent& ev : session.Feed(engine, piece.data(), piece.size(), 1.0)) {
                if (!ev.chunks.empty()) {
                    replies.push_back(Sent(ev));
                }
            }
        }
        EXPECT_EQ(replies, c.replies);
    }
}

}  // namespace
