// Listening for the reply to a read that timed out, before the next request:
// it must end as soon as a whole frame and the quiet after it are there, wait
// out the reply wait otherwise, and call late only what answers that read.
#include <gtest/gtest.h>

#include <string>

#include "link/Exchange.h"
#include "link/LateReply.h"
#include "support/FakeSerial.h"
#include "support/TestFrames.h"

namespace {

const Bytes kAnalogRead = Request(1, 3, 100, 9);
const Bytes kLateAnalogReply = WithCrc(Concat({{0x01, 0x03, 18}, Bytes(18, 0x7F)}));

struct Arrival {
    std::uint32_t afterMs;  // after the time-out
    Bytes bytes;
};

struct LateCase {
    const char* name;
    bool echoes;  // the adapter returned the request during the exchange
    std::vector<Arrival> arrivals;
    bool late;
    std::uint32_t listenedMs;
};

}  // namespace

TEST(LateReply, ListensUntilAFrameAndTheQuietAfterIt) {
    const std::uint32_t gap = FrameGapMs(LineSettings{});
    const Bytes head(kLateAnalogReply.begin(), kLateAnalogReply.begin() + 10);
    const Bytes tail(kLateAnalogReply.begin() + 10, kLateAnalogReply.end());
    for (const LateCase& c : {
             LateCase{"late reply", false, {{80, kLateAnalogReply}}, true, 80 + gap},
             LateCase{"behind the echo", true, {{80, kLateAnalogReply}}, true, 80 + gap},
             LateCase{"in two pieces", false, {{50, head}, {120, tail}}, true, 120 + gap},
             LateCase{"late exception", false, {{30, WithCrc({0x01, 0x83, 0x06})}}, true, 30 + gap},
             LateCase{"nothing", false, {}, false, 200},
             LateCase{"the echo alone", true, {}, false, 200},
             // A frame of ours that answers something else ends it, but is no
             // late reply to this read; another address's frame does not end it.
             LateCase{"another reply",
                      false,
                      {{40, WithCrc({0x01, 0x01, 0x01, 0x05})}},
                      false,
                      40 + gap},
             LateCase{
                 "another slave", false, {{40, WithCrc({0x02, 0x01, 0x01, 0x05})}}, false, 200},
         }) {
        SCOPED_TRACE(c.name);
        FakeClock clock{1000};
        FakeLine line{clock};
        FakePorts ports;
        ports.Attach(0, line);
        CModbusComm comm{ports, clock};
        comm.m_nWaitTime = 200;
        comm.m_echoMode = EchoMode::Off;
        ASSERT_EQ(comm.InitPort(), 1);
        line.m_onWrite = [&](const Bytes& req) {
            if (c.echoes) {
                line.Arrive(0, req);
            }
        };
        ASSERT_EQ(RunExchange(comm, ExchangeVariant::Read, 0x03, 100, 9, nullptr, clock).outcome,
                  ExchangeOutcome::Timeout);
        for (const Arrival& a : c.arrivals) {
            line.Arrive(a.afterMs, a.bytes);
        }
        const std::uint32_t start = clock.m_nNow;
        EXPECT_EQ(ListenForLateReply(comm, clock), c.late);
        EXPECT_EQ(clock.m_nNow - start, c.listenedMs);
        EXPECT_EQ(Bytes(comm.m_SendBuf, comm.m_SendBuf + 8), kAnalogRead);
    }
}
