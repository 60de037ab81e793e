#include "sim/SimEngine.h"

#include <gtest/gtest.h>

#include "link/ReplyMatch.h"
#include "sim/RequestLog.h"
#include "sim/SimOptions.h"
#include "tests/support/TestFrames.h"

namespace {

SimEngineConfig Config(std::vector<FaultSpec> faults = {}, std::uint32_t delay = 0) {
    SimEngineConfig c;
    c.drift = false;
    c.faults = std::move(faults);
    c.replyDelayMs = delay;
    return c;
}

SimEvent One(CSimEngine& engine, const Bytes& request) {
    const std::vector<SimEvent> events = engine.Feed(request.data(), request.size(), 12.5);
    EXPECT_EQ(events.size(), 1u);
    return events.empty() ? SimEvent{} : events.front();
}

Bytes Sent(const SimEvent& ev) {
    Bytes all;
    for (const SimChunk& c : ev.chunks) {
        all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    }
    return all;
}

// What the program's exchange makes of the bytes on the line.
ReplyKind MasterSees(const Bytes& request, const Bytes& line) {
    return FindReply(line.data(), static_cast<int>(line.size()), request[0], request.data()).kind;
}

}  // namespace

TEST(SimEngine, AnswersARequestWithOneChunkAtOnce) {
    CSimEngine engine(Config());
    const Bytes request = Request(1, 3, 0, 1);
    const SimEvent ev = One(engine, request);
    EXPECT_EQ(ev.seq, 1u);
    EXPECT_DOUBLE_EQ(ev.tMs, 12.5);
    EXPECT_EQ(ev.outcome, SimOutcome::Reply);
    EXPECT_EQ(ev.faults, 0u);
    EXPECT_EQ(ev.delayMs, 0u);
    ASSERT_EQ(ev.chunks.size(), 1u);
    EXPECT_EQ(ev.chunks[0].bytes, WithCrc({1, 3, 2, 0x00, 0x02}));
    EXPECT_EQ(MasterSees(request, Sent(ev)), ReplyKind::Reply);
}

TEST(SimEngine, CountsIgnoredRequestsAndRollsNoFaultForThem) {
    CSimEngine engine(Config({{FaultKind::Noise, 100}}));
    const Bytes stream =
        Concat({Request(2, 3, 0, 1), Request(0, 5, 200, 0xFF00), Request(1, 3, 0, 1)});
    const std::vector<SimEvent> events = engine.Feed(stream.data(), stream.size(), 0);
    ASSERT_EQ(events.size(), 3u);
    for (int i : {0, 1}) {
        EXPECT_EQ(events[i].outcome, SimOutcome::Ignored);
        EXPECT_EQ(events[i].faults, 0u);
        EXPECT_TRUE(events[i].chunks.empty());
    }
    EXPECT_EQ(events[2].seq, 3u);
    EXPECT_EQ(events[2].faults, Bit(FaultKind::Noise));
}

TEST(SimEngine, ReplyDelayAloneDelaysEveryReply) {
    CSimEngine engine(Config({}, 300));
    EXPECT_EQ(One(engine, Request(1, 3, 0, 1)).delayMs, 300u);
    EXPECT_EQ(One(engine, Request(1, 3, 50, 1)).delayMs, 300u);  // exceptions too
}

TEST(SimEngine, WithTheLateFaultOnlyLateRepliesWait) {
    CSimEngine never(Config({{FaultKind::Late, 0}}, 300));
    EXPECT_EQ(One(never, Request(1, 3, 0, 1)).delayMs, 0u);
    CSimEngine always(Config({{FaultKind::Late, 100}}, 300));
    EXPECT_EQ(One(always, Request(1, 3, 0, 1)).delayMs, 300u);
    CSimEngine byDefault(Config({{FaultKind::Late, 100}}));
    EXPECT_EQ(One(byDefault, Request(1, 3, 0, 1)).delayMs, CSimEngine::kDefaultLateMs);
}

TEST(SimEngine, SilentRequestsAreNotCarriedOut) {
    CSimEngine engine(Config({{FaultKind::Silent, 100}}));
    const SimEvent ev = One(engine, Request(1, 5, 200, 0xFF00));
    EXPECT_EQ(ev.outcome, SimOutcome::Silent);
    EXPECT_TRUE(ev.chunks.empty());
    EXPECT_FALSE(engine.Unit().StatusBit(0));
}

TEST(SimEngine, BusyRequestsGetException06AndAreNotCarriedOut) {
    CSimEngine engine(Config({{FaultKind::Exception, 100}}));
    const Bytes request = Request(1, 5, 200, 0xFF00);
    const SimEvent ev = One(engine, request);
    EXPECT_EQ(ev.outcome, SimOutcome::Exception);
    EXPECT_EQ(ev.exceptionCode, 0x06);
    EXPECT_EQ(Sent(ev), WithCrc({1, 0x85, 0x06}));
    EXPECT_FALSE(engine.Unit().StatusBit(0));
    EXPECT_EQ(MasterSees(request, Sent(ev)), ReplyKind::Exception);
}

TEST(SimEngine, NoiseAndSplitStillLetTheMasterFindTheReply) {
    CSimEngine engine(Config({{FaultKind::Noise, 100}, {FaultKind::Split, 100}}));
    for (int i = 0; i < 200; ++i) {
        const Bytes request = Request(1, 3, 100, 9);
        const SimEvent ev = One(engine, request);
        ASSERT_FALSE(ev.junk.empty());
        ASSERT_GE(ev.chunks.size(), 2u);
        ASSERT_EQ(Sent(ev), Concat({ev.junk, ev.frame}));
        ASSERT_TRUE(CrcValid(ev.frame));
        ASSERT_EQ(MasterSees(request, Sent(ev)), ReplyKind::Reply) << i;
        // Nor does the junk alone ever pass for a reply.
        ASSERT_EQ(MasterSees(request, ev.junk), ReplyKind::None) << i;
    }
}

TEST(SimEngine, CorruptRepliesAreCarriedOutButNotRecognised) {
    CSimEngine engine(Config({{FaultKind::Corrupt, 100}}));
    const Bytes request = Request(1, 5, 201, 0x0000);
    const SimEvent ev = One(engine, request);
    EXPECT_EQ(ev.outcome, SimOutcome::Reply);
    EXPECT_FALSE(CrcValid(ev.frame));
    EXPECT_FALSE(engine.Unit().StatusBit(1));
    EXPECT_EQ(MasterSees(request, Sent(ev)), ReplyKind::None);
}

TEST(SimEngine, AddingFaultsDoesNotChangeTheDrift) {
    SimEngineConfig plain = Config();
    plain.drift = true;
    SimEngineConfig faulty = plain;
    faulty.faults = {{FaultKind::Noise, 50}, {FaultKind::Split, 50}};
    CSimEngine a(plain);
    CSimEngine b(faulty);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(One(a, Request(1, 3, 100, 9)).frame, One(b, Request(1, 3, 100, 9)).frame);
    }
}

TEST(RequestLog, TraceLineHasTheDocumentedFields) {
    SimEvent ev;
    ev.seq = 12;
    ev.tMs = 1520.1126;
    ev.request = {0x01, 0x03, 0x00, 0x64};
    ev.outcome = SimOutcome::Exception;
    ev.exceptionCode = 6;
    ev.faults = Bit(FaultKind::Exception) | Bit(FaultKind::Noise) | Bit(FaultKind::Late);
    ev.frame = {0x01, 0x83, 0x06};
    ev.junk = {0xA5, 0x3C};
    ev.delayMs = 2000;
    EXPECT_EQ(CRequestLog::TraceLine(ev),
              "12 1520.113 01030064 exception 06 exception,noise,late 018306 A53C 2000\n");
    SimEvent quiet;
    quiet.seq = 1;
    quiet.request = {0x02, 0x03};
    EXPECT_EQ(CRequestLog::TraceLine(quiet), "1 0.000 0203 ignored - - - - 0\n");
}

struct ArgsCase {
    std::vector<const char*> args;
    bool ok;
};

class SimArgs : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(SimArgs, AreAcceptedOrRefused) {
    std::vector<const char*> argv{"k40sim"};
    argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
    SimOptions opt;
    std::string error;
    EXPECT_EQ(CSimOptions::Parse(static_cast<int>(argv.size()), argv.data(), opt, error),
              GetParam().ok);
    EXPECT_EQ(error.empty(), GetParam().ok) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SimArgs,
    ::testing::Values(
        ArgsCase{{}, true}, ArgsCase{{"--slave", "254"}, true}, ArgsCase{{"--slave", "0"}, false},
        ArgsCase{{"--slave", "255"}, false}, ArgsCase{{"--slave"}, false},
        ArgsCase{{"--baud", "9600x"}, false}, ArgsCase{{"--reply-delay", "-5"}, false},
        ArgsCase{{"--parity", "odd", "--stop-bits", "2"}, true}, ArgsCase{{"--parity", "E"}, false},
        ArgsCase{{"--parity"}, false}, ArgsCase{{"--stop-bits", "3"}, false},
        ArgsCase{{"--fault", "loud"}, false}, ArgsCase{{"--status", "0x8000"}, false},
        ArgsCase{{"--bogus"}, false}, ArgsCase{{"--seed", "18446744073709551615"}, true},
        ArgsCase{{"--listen", "127.0.0.1:0"}, true}, ArgsCase{{"--listen", "[::1]:5020"}, true},
        ArgsCase{{"--listen", "127.0.0.1"}, false},
        ArgsCase{{"--listen", "127.0.0.1:65536"}, false},
        ArgsCase{{"--listen", "127.0.0.1:0", "--device", "/dev/ttyS0"}, false},
        ArgsCase{{"--listen", "0", "--link", "/tmp/k"}, false}));

TEST(SimArgs, AListenPortAloneMeansTheLoopbackAddress) {
    for (const char* given : {"5020", ":5020"}) {
        const char* argv[] = {"k40sim", "--listen", given};
        SimOptions opt;
        std::string error;
        ASSERT_TRUE(CSimOptions::Parse(3, argv, opt, error)) << error;
        EXPECT_EQ(opt.listenAddress, "127.0.0.1:5020") << given;
    }
}

TEST(SimArgs, FillTheOptions) {
    const char* argv[] = {"k40sim",  "--link",        "/tmp/k", "--slave",  "7",        "--baud",
                          "1200",    "--reply-delay", "40",     "--fault",  "noise:30", "--fault",
                          "late",    "--seed",        "99",     "--static", "--status", "1234",
                          "--trace", "t.txt",         "--quiet"};
    SimOptions opt;
    std::string error;
    ASSERT_TRUE(CSimOptions::Parse(static_cast<int>(std::size(argv)), argv, opt, error)) << error;
    EXPECT_EQ(opt.linkPath, "/tmp/k");
    EXPECT_EQ(opt.engine.slaveAddr, 7);
    EXPECT_EQ(opt.baud, 1200u);
    EXPECT_EQ(opt.engine.replyDelayMs, 40u);
    ASSERT_EQ(opt.engine.faults.size(), 2u);
    EXPECT_EQ(opt.engine.faults[0].percent, 30);
    EXPECT_EQ(opt.engine.faults[1].kind, FaultKind::Late);
    EXPECT_EQ(opt.engine.faults[1].percent, 100);
    EXPECT_EQ(opt.engine.seed, 99u);
    EXPECT_FALSE(opt.engine.drift);
    EXPECT_EQ(opt.engine.status, 0x1234);  // hexadecimal, with or without 0x
    EXPECT_EQ(opt.tracePath, "t.txt");
    EXPECT_TRUE(opt.quiet);
}

namespace {

TEST(SimEngine, FineTimersOnlyWhereRepliesKeepFineTimes) {
    struct Case {
        std::uint32_t paceBaud;
        std::uint32_t replyDelayMs;
        const char* fault;  // null: none
        bool fine;
    };
    const Case cases[] = {
        {0, 0, nullptr, false},   {9600, 0, nullptr, true}, {0, 5, nullptr, true},
        {0, 0, "split", true},    {0, 0, "split:10", true}, {0, 0, "silent", false},
        {0, 0, "corrupt", false},
    };
    for (const Case& c : cases) {
        SimEngineConfig config;
        config.replyDelayMs = c.replyDelayMs;
        if (c.fault != nullptr) {
            FaultSpec f;
            ASSERT_TRUE(ParseFault(c.fault, f)) << c.fault;
            config.faults.push_back(f);
        }
        EXPECT_EQ(NeedsFineTimers(config, c.paceBaud), c.fine)
            << c.paceBaud << " " << c.replyDelayMs << " " << (c.fault ? c.fault : "");
    }
}

}  // namespace
