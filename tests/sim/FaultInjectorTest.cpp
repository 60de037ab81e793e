#include "sim/FaultInjector.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "link/ReplyMatch.h"
#include "tests/support/TestFrames.h"

namespace {

struct ParseCase {
    const char* text;
    bool ok;
    FaultKind kind;
    int percent;
};

class FaultParse : public ::testing::TestWithParam<ParseCase> {};

}  // namespace

TEST_P(FaultParse, ReadsKindAndPercent) {
    FaultSpec fault;
    ASSERT_EQ(ParseFault(GetParam().text, fault), GetParam().ok) << GetParam().text;
    if (GetParam().ok) {
        EXPECT_EQ(fault.kind, GetParam().kind);
        EXPECT_EQ(fault.percent, GetParam().percent);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FaultParse,
    ::testing::Values(ParseCase{"silent", true, FaultKind::Silent, 100},
                      ParseCase{"exception:5", true, FaultKind::Exception, 5},
                      ParseCase{"corrupt:100", true, FaultKind::Corrupt, 100},
                      ParseCase{"noise:30", true, FaultKind::Noise, 30},
                      ParseCase{"split:0", true, FaultKind::Split, 0},
                      ParseCase{"late:050", true, FaultKind::Late, 50},
                      ParseCase{"partial-echo:25", true, FaultKind::PartialEcho, 25},
                      ParseCase{"wrong-slave", true, FaultKind::WrongSlave, 100},
                      ParseCase{"ignore", true, FaultKind::Ignore, 100},
                      ParseCase{"late:101", false, FaultKind::Late, 0},
                      ParseCase{"noise:", false, FaultKind::Noise, 0},
                      ParseCase{"noise:-1", false, FaultKind::Noise, 0},
                      ParseCase{"noise:3x", false, FaultKind::Noise, 0},
                      ParseCase{"noise:1000", false, FaultKind::Noise, 0},
                      ParseCase{"NOISE", false, FaultKind::Noise, 0},
                      ParseCase{":5", false, FaultKind::Noise, 0},
                      ParseCase{"", false, FaultKind::Noise, 0},
                      ParseCase{"busy", false, FaultKind::Noise, 0}));

TEST(FaultInjector, SetTextListsTheFaultsInTheirOrder) {
    EXPECT_EQ(FaultSetText(0), "-");
    EXPECT_EQ(FaultSetText(Bit(FaultKind::Split) | Bit(FaultKind::Noise)), "noise,split");
    EXPECT_EQ(FaultSetText(Bit(FaultKind::Late)), "late");
}

TEST(FaultInjector, StrikesTheGivenShareOfRequests) {
    CFaultInjector faults(
        {{FaultKind::Noise, 30}, {FaultKind::Split, 0}, {FaultKind::Corrupt, 100}}, 9);
    int noise = 0;
    const int n = 10000;
    for (int i = 0; i < n; ++i) {
        const FaultSet set = faults.Decide();
        ASSERT_TRUE(set & Bit(FaultKind::Corrupt));
        ASSERT_FALSE(set & Bit(FaultKind::Split));
        noise += (set & Bit(FaultKind::Noise)) ? 1 : 0;
    }
    EXPECT_GT(noise, n * 27 / 100);
    EXPECT_LT(noise, n * 33 / 100);
}

TEST(FaultInjector, SilentLeavesNoRoomForOthers) {
    CFaultInjector faults({{FaultKind::Noise, 100}, {FaultKind::Silent, 100}}, 1);
    EXPECT_EQ(faults.Decide(), Bit(FaultKind::Silent));
}

TEST(FaultInjector, SameSeedSameChoicesWhateverTheOrderGiven) {
    CFaultInjector a({{FaultKind::Noise, 50}, {FaultKind::Late, 50}}, 77);
    CFaultInjector b({{FaultKind::Late, 50}, {FaultKind::Noise, 50}}, 77);
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(a.Decide(), b.Decide()) << i;
        ASSERT_EQ(a.Junk(1), b.Junk(1)) << i;
    }
}

TEST(FaultInjector, JunkNeverHoldsTheSlaveAddress) {
    CFaultInjector faults({}, 5);
    for (int slave : {1, 0x55, 247}) {
        std::size_t shortest = 99;
        std::size_t longest = 0;
        for (int i = 0; i < 2000; ++i) {
            const Bytes junk = faults.Junk(slave);
            shortest = std::min(shortest, junk.size());
            longest = std::max(longest, junk.size());
            ASSERT_EQ(std::count(junk.begin(), junk.end(), slave), 0);
        }
        EXPECT_EQ(shortest, 1u);
        EXPECT_EQ(longest, 8u);
    }
}

TEST(FaultInjector, CorruptedRepliesAreNeverTakenByTheMaster) {
    CFaultInjector faults({}, 3);
    // Replies full of bytes equal to the slave address give the master's
    // search the most starts to try.
    const Bytes request = Request(1, 3, 100, 9);
    for (int i = 0; i < 3000; ++i) {
        Bytes body{0x01, 0x03, 0x12};
        for (int k = 0; k < 18; ++k) {
            body.push_back(
                static_cast<std::uint8_t>((i >> (k % 8)) & 1 ? 0x01 : (i * 31 + k) & 0xFF));
        }
        const Bytes good = WithCrc(body);
        Bytes bad = good;
        faults.Corrupt(bad, 1);
        ASSERT_NE(bad, good);
        ASSERT_EQ(Bytes(bad.begin(), bad.end() - 1), Bytes(good.begin(), good.end() - 1));
        ASSERT_EQ(FindReply(bad.data(), static_cast<int>(bad.size()), 1, request.data()).kind,
                  ReplyKind::None);
        for (std::size_t s = 0; s + 4 <= bad.size(); ++s) {
            ASSERT_FALSE(bad[s] == 1 &&
                         CrcValid(Bytes(bad.begin() + static_cast<long>(s), bad.end())))
                << i << " at " << s;
        }
    }
}

TEST(FaultInjector, SplitKeepsEveryByteInOrder) {
    CFaultInjector faults({}, 11);
    const Bytes reply = WithCrc({1, 3, 2, 0, 2});
    for (const Bytes& bytes : {reply, Bytes{1, 2}, WithCrc({1, 0x83, 2})}) {
        for (int i = 0; i < 300; ++i) {
            const std::vector<SimChunk> chunks = faults.Split(bytes);
            ASSERT_GE(chunks.size(), 2u);
            ASSERT_LE(chunks.size(), std::min<std::size_t>(4, bytes.size()));
            Bytes joined;
            for (std::size_t c = 0; c < chunks.size(); ++c) {
                ASSERT_FALSE(chunks[c].bytes.empty());
                if (c == 0) {
                    ASSERT_EQ(chunks[c].gapMs, 0u);
                } else {
                    ASSERT_GE(chunks[c].gapMs, 2u);
                    ASSERT_LE(chunks[c].gapMs, 8u);
                }
                joined.insert(joined.end(), chunks[c].bytes.begin(), chunks[c].bytes.end());
            }
            ASSERT_EQ(joined, bytes);
        }
    }
}
