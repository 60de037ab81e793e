// Requests of any length and function 02/04/15/16 on an RTU line, and the same
// exchange over Modbus TCP (MBAP), where a reply must carry the request's
// transaction id: what the far side sends, and whether the exchange takes it;
// a broadcast, which takes nothing.
#include <gtest/gtest.h>

#include "link/Exchange.h"
#include "link/LineDiagnosis.h"
#include "support/FakeSerial.h"
#include "support/TestFrames.h"

namespace {

struct VariableRequest : ::testing::Test {
    FakeClock clock{1000};
    FakeLine line{clock};
    FakePorts ports;
    CModbusComm comm{ports, clock};

    VariableRequest() {
        ports.Attach(0, line);
        comm.m_nWaitTime = 200;
    }
    void Open(bool mbap, EchoMode echo = EchoMode::Off) {
        line.m_bMbap = mbap;
        comm.m_echoMode = echo;
        ASSERT_EQ(comm.InitPort(), 1);
    }
    ExchangeResult Run(const Bytes& pdu) {
        return RunRequest(comm, ExchangeVariant::Read, pdu.data(), static_cast<int>(pdu.size()),
                          nullptr, clock);
    }
};

// Write multiple registers 40..41 = 0x1234, 0xABCD.
const Bytes kWrite16 = {0x10, 0x00, 0x28, 0x00, 0x02, 0x04, 0x12, 0x34, 0xAB, 0xCD};

struct RtuCase {
    const char* name;
    Bytes pdu;
    Bytes reply;  // sent 20 ms after the request, with its CRC
    ExchangeOutcome outcome;
};

const RtuCase kRtuCases[] = {
    {"02 with its byte count", {0x02, 0x00, 0x00, 0x00, 0x0A}, {1, 0x02, 2, 0xFF, 0x03},
     ExchangeOutcome::Reply},
    {"02 with a register count's bytes", {0x02, 0x00, 0x00, 0x00, 0x0A}, {1, 0x02, 4, 1, 2, 3, 4},
     ExchangeOutcome::Timeout},
    {"04 with its byte count", {0x04, 0x00, 0x10, 0x00, 0x02}, {1, 0x04, 4, 1, 2, 3, 4},
     ExchangeOutcome::Reply},
    {"04 one register short", {0x04, 0x00, 0x10, 0x00, 0x02}, {1, 0x04, 2, 1, 2},
     ExchangeOutcome::Timeout},
    {"04 answered as 03", {0x04, 0x00, 0x10, 0x00, 0x01}, {1, 0x03, 2, 1, 2},
     ExchangeOutcome::Timeout},
    {"16 confirmed", kWrite16, {1, 0x10, 0x00, 0x28, 0x00, 0x02}, ExchangeOutcome::Reply},
    {"16 with another quantity", kWrite16, {1, 0x10, 0x00, 0x28, 0x00, 0x01},
     ExchangeOutcome::Timeout},
    {"16 refused", kWrite16, {1, 0x90, 0x02}, ExchangeOutcome::Exception},
};

TEST_F(VariableRequest, RtuRepliesAreMatchedByFunctionAndLength) {
    for (const RtuCase& c : kRtuCases) {
        SCOPED_TRACE(c.name);
        Open(false);
        line.m_written.clear();
        line.m_onWrite = [&](const Bytes&) { line.Arrive(20, WithCrc(c.reply)); };
        const ExchangeResult r = Run(c.pdu);
        Bytes sent = {1};
        sent.insert(sent.end(), c.pdu.begin(), c.pdu.end());
        EXPECT_EQ(line.m_written, WithCrc(sent));
        EXPECT_EQ(r.outcome, c.outcome);
        if (r.outcome == ExchangeOutcome::Reply) {
            EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + r.replyLength), WithCrc(c.reply));
        }
    }
}

TEST_F(VariableRequest, EchoOfALongRequestIsTakenOffBeforeItsReply) {
    // The copy of a 16 request is 15 bytes, not 8: the reply follows it.
    for (const bool unitAlive : {true, false}) {
        Open(false, EchoMode::On);
        line.m_onWrite = [&](const Bytes& req) {
            line.Arrive(0, req);
            if (unitAlive) {
                line.Arrive(20, WithCrc({1, 0x10, 0x00, 0x28, 0x00, 0x02}));
            }
        };
        const ExchangeResult r = Run(kWrite16);
        EXPECT_TRUE(r.echoRemoved);
        EXPECT_EQ(r.outcome, unitAlive ? ExchangeOutcome::Reply : ExchangeOutcome::Timeout);
    }
    // Not expected, the whole copy is still told apart from the unit's silence.
    Open(false, EchoMode::Off);
    line.m_onWrite = [&](const Bytes& req) { line.Arrive(0, req); };
    const ExchangeResult r = Run(kWrite16);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Timeout);
    EXPECT_EQ(CLineDiagnosis::OfExchange(comm, r).finding, LineFinding::EchoOnly);
}

Bytes Mbap(std::uint16_t tid, const Bytes& body) {
    Bytes f = {static_cast<std::uint8_t>(tid >> 8), static_cast<std::uint8_t>(tid), 0, 0, 0,
               static_cast<std::uint8_t>(body.size())};
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

const Bytes kAnswer = {1, 0x03, 4, 0x41, 0x20, 0x00, 0x00};  // 10.0f big-endian

struct MbapCase {
    const char* name;
    // What arrives for the request with transaction id tid, in pieces 5 ms apart.
    std::vector<Bytes> (*reply)(std::uint16_t tid);
    ExchangeOutcome outcome;
    int discarded;
};

const MbapCase kMbapCases[] = {
    {"the reply", [](std::uint16_t t) { return std::vector<Bytes>{Mbap(t, kAnswer)}; },
     ExchangeOutcome::Reply, 0},
    {"in three pieces",
     [](std::uint16_t t) {
         const Bytes f = Mbap(t, kAnswer);
         return std::vector<Bytes>{Bytes(f.begin(), f.begin() + 3),
                                   Bytes(f.begin() + 3, f.begin() + 9), Bytes(f.begin() + 9, f.end())};
     },
     ExchangeOutcome::Reply, 0},
    {"after a reply to an earlier request",
     [](std::uint16_t t) {
         return std::vector<Bytes>{Mbap(static_cast<std::uint16_t>(t - 1), kAnswer), Mbap(t, kAnswer)};
     },
     ExchangeOutcome::Reply, 1},
    {"only with another transaction id",
     [](std::uint16_t t) { return std::vector<Bytes>{Mbap(static_cast<std::uint16_t>(t + 7), kAnswer)}; },
     ExchangeOutcome::Timeout, 1},
    {"after noise", [](std::uint16_t t) { return std::vector<Bytes>{{0xFF, 0x00, 0x01}, Mbap(t, kAnswer)}; },
     ExchangeOutcome::Reply, 0},
    // Many network devices answer 0 or 255 whatever unit id they were sent.
    {"from another unit id",
     [](std::uint16_t t) { return std::vector<Bytes>{Mbap(t, {0, 0x03, 4, 0x41, 0x20, 0, 0})}; },
     ExchangeOutcome::Reply, 0},
    {"with a wrong byte count",
     [](std::uint16_t t) { return std::vector<Bytes>{Mbap(t, {1, 0x03, 2, 0x41, 0x20})}; },
     ExchangeOutcome::Timeout, 0},
    {"an exception", [](std::uint16_t t) { return std::vector<Bytes>{Mbap(t, {1, 0x83, 0x02})}; },
     ExchangeOutcome::Exception, 0},
};

TEST_F(VariableRequest, MbapRepliesAreMatchedByTransactionAndContent) {
    for (const MbapCase& c : kMbapCases) {
        SCOPED_TRACE(c.name);
        Open(true);
        line.m_written.clear();
        line.m_onWrite = [&](const Bytes& req) {
            std::uint32_t at = 5;
            for (const Bytes& piece : c.reply(static_cast<std::uint16_t>(req[0] << 8 | req[1]))) {
                line.Arrive(at, piece);
                at += 5;
            }
        };
        const std::uint32_t before = comm.m_nDiscardedReplies;
        const ExchangeResult r = Run({0x03, 0x00, 0x64, 0x00, 0x02});
        // The whole MBAP frame went out: id, protocol 0, length 6, unit 1, PDU.
        ASSERT_EQ(line.m_written.size(), 12u);
        EXPECT_EQ(Bytes(line.m_written.begin() + 2, line.m_written.end()),
                  (Bytes{0, 0, 0, 6, 1, 0x03, 0x00, 0x64, 0x00, 0x02}));
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.discardedReplies, c.discarded);
        EXPECT_EQ(comm.m_nDiscardedReplies - before, static_cast<std::uint32_t>(c.discarded));
        if (r.outcome == ExchangeOutcome::Reply) {
            // Handed on in RTU form, as a serial line would have brought it.
            EXPECT_EQ(Bytes(comm.m_RecvBuf + 1, comm.m_RecvBuf + r.replyLength - 2),
                      Bytes(kAnswer.begin() + 1, kAnswer.end()));
            EXPECT_EQ(r.otherUnit, comm.m_RecvBuf[0] == 1 ? -1 : comm.m_RecvBuf[0]);
        }
        // A frame under the request's id that does not answer it is kept to be named.
        EXPECT_EQ(r.mismatch.empty(), std::string(c.name) != "with a wrong byte count");
    }
}

// A reply that comes after its request timed out is still read over Modbus
// TCP, never purged: the next exchange discards it by its transaction id and
// counts it, even when its first bytes came before the time-out and the rest
// after the next request went out (its tail must not pass for a header).
TEST_F(VariableRequest, MbapLateRepliesAreCountedNotPurged) {
    const Bytes zeros = {1, 0x03, 4, 0, 0, 0, 0};
    // All of it between the two requests; its first 9 bytes before the time-out.
    for (const auto& [split, restAt] : {std::pair{0, 220}, std::pair{9, 250}}) {
        SCOPED_TRACE(split);
        Open(true);
        const std::uint32_t before = comm.m_nDiscardedReplies;
        const int purges = line.m_nDiscardIn;
        bool first = true;
        line.m_onWrite = [&](const Bytes& req) {
            const std::uint16_t tid = static_cast<std::uint16_t>(req[0] << 8 | req[1]);
            if (first) {
                first = false;
                const Bytes late = Mbap(tid, zeros);
                line.Arrive(150, Bytes(late.begin(), late.begin() + split));
                line.Arrive(static_cast<std::uint32_t>(restAt), Bytes(late.begin() + split, late.end()));
            } else {
                line.Arrive(5, Mbap(tid, kAnswer));
            }
        };
        EXPECT_EQ(Run({0x03, 0x00, 0x64, 0x00, 0x02}).outcome, ExchangeOutcome::Timeout);
        clock.m_nNow += 45;  // the next request goes out at 245 ms
        const ExchangeResult r = Run({0x03, 0x00, 0x64, 0x00, 0x02});
        ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
        EXPECT_EQ(Bytes(comm.m_RecvBuf, comm.m_RecvBuf + r.replyLength), WithCrc(kAnswer));
        EXPECT_EQ(r.discardedReplies, 1);
        EXPECT_EQ(comm.m_nDiscardedReplies - before, 1u);
        EXPECT_EQ(line.m_nDiscardIn, purges);
    }
}

TEST_F(VariableRequest, AFrameCutOffByAClosedConnectionIsNotJudgedWithTheNext) {
    Open(true);
    line.m_onWrite = [&](const Bytes& req) {
        const Bytes reply = Mbap(static_cast<std::uint16_t>(req[0] << 8 | req[1]), kAnswer);
        line.Arrive(5, Bytes(reply.begin(), reply.begin() + 9));  // and then the peer is gone
    };
    EXPECT_EQ(Run({0x03, 0x00, 0x64, 0x00, 0x02}).outcome, ExchangeOutcome::Timeout);
    Open(true);
    line.m_onWrite = [&](const Bytes& req) {
        line.Arrive(5, Mbap(static_cast<std::uint16_t>(req[0] << 8 | req[1]), kAnswer));
    };
    EXPECT_EQ(Run({0x03, 0x00, 0x64, 0x00, 0x02}).outcome, ExchangeOutcome::Reply);
}

TEST_F(VariableRequest, EveryMbapRequestHasItsOwnTransactionId) {
    Open(true);
    Bytes ids;
    line.m_onWrite = [&](const Bytes& req) {
        ids.push_back(req[1]);
        line.Arrive(1, Mbap(static_cast<std::uint16_t>(req[0] << 8 | req[1]),
                            {1, 0x10, 0x00, 0x28, 0x00, 0x02}));
    };
    EXPECT_EQ(Run(kWrite16).outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(Run(kWrite16).outcome, ExchangeOutcome::Reply);
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_NE(ids[0], ids[1]);
}

// A broadcast in echo auto on a freshly opened line: no settling read goes
// first (it would be a read to every slave), nothing is read back, and the
// turnaround runs from the moment the frame has left.
TEST_F(VariableRequest, ABroadcastIsSentAloneAndTheLineKeptQuietAfterIt) {
    Open(false, EchoMode::Auto);
    comm.m_nSlaveAddr = 0;
    line.m_nDrainMs = 9;
    const Bytes pdu = {0x06, 0x00, 0x32, 0x00, 0x4D};
    const std::uint32_t start = clock.m_nNow;
    ASSERT_TRUE(SendBroadcast(comm, pdu.data(), 5, nullptr, 100, clock));
    EXPECT_EQ(line.m_written, WithCrc({0x00, 0x06, 0x00, 0x32, 0x00, 0x4D}));
    EXPECT_EQ(line.m_nReads, 0);
    EXPECT_EQ(clock.m_nNow - start, 9u + 100u);

    line.m_bWriteFails = true;
    const std::uint32_t failed = clock.m_nNow;
    EXPECT_FALSE(SendBroadcast(comm, pdu.data(), 5, nullptr, 100, clock));
    EXPECT_LT(clock.m_nNow - failed, 100u);
}

}  // namespace
