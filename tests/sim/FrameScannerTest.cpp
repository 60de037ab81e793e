#include "sim/FrameScanner.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestFrames.h"

namespace {

const Bytes kRead = Request(1, 3, 100, 9);
const Bytes kWrite = Request(1, 5, 200, 0xFF00);
const Bytes kOther = Request(2, 1, 0, 15);

struct StreamCase {
    const char* what;
    std::vector<Bytes> pieces;  // fed one after the other
    std::vector<Bytes> frames;  // what comes out, in order
    std::size_t dropped;
};

std::vector<Bytes> Scan(CFrameScanner& scanner, const std::vector<Bytes>& pieces) {
    std::vector<Bytes> frames;
    for (const Bytes& p : pieces) {
        scanner.Feed(p.data(), p.size());
        Bytes f;
        while (scanner.Next(f)) {
            frames.push_back(f);
        }
    }
    return frames;
}

class FrameScannerStream : public ::testing::TestWithParam<StreamCase> {};

}  // namespace

TEST_P(FrameScannerStream, FindsTheFrames) {
    CFrameScanner scanner;
    EXPECT_EQ(Scan(scanner, GetParam().pieces), GetParam().frames);
    EXPECT_EQ(scanner.Dropped(), GetParam().dropped);
    EXPECT_EQ(scanner.Pending(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FrameScannerStream,
    ::testing::Values(StreamCase{"one", {kRead}, {kRead}, 0},
                      StreamCase{"two at once", {Concat({kRead, kWrite})}, {kRead, kWrite}, 0},
                      StreamCase{"other slaves too", {Concat({kOther, kRead})}, {kOther, kRead}, 0},
                      StreamCase{"noise ahead", {Concat({{0xFF, 0x00, 0x13}, kRead})}, {kRead}, 3},
                      StreamCase{
                          "noise between", {Concat({kRead, {0x55}, kWrite})}, {kRead, kWrite}, 1},
                      // A junk byte pair that reads like the head of a long 0x10 frame must
                      // not hold up the request behind it.
                      StreamCase{"false long head",
                                 {Concat({{0x01, 0x10, 0x00, 0x00, 0x00, 0x7B, 0xF6}, kRead})},
                                 {kRead},
                                 7},
                      StreamCase{"bad crc then good",
                                 {Concat({Bytes(kWrite.begin(), kWrite.end() - 1), {0x00}, kRead})},
                                 {kRead},
                                 8},
                      StreamCase{"write multiple",
                                 {WithCrc({1, 0x10, 0x01, 0x36, 0x00, 0x02, 0x04, 1, 2, 3, 4})},
                                 {WithCrc({1, 0x10, 0x01, 0x36, 0x00, 0x02, 0x04, 1, 2, 3, 4})},
                                 0},
                      StreamCase{"report server id",
                                 {Concat({WithCrc({1, 0x11}), kRead})},
                                 {WithCrc({1, 0x11}), kRead},
                                 0},
                      StreamCase{"unknown function by crc",
                                 {Concat({WithCrc({1, 0x2B, 0x0E, 0x01, 0x00}), kRead})},
                                 {WithCrc({1, 0x2B, 0x0E, 0x01, 0x00}), kRead},
                                 0}),
    [](const ::testing::TestParamInfo<StreamCase>& p) {
        std::string name = p.param.what;
        for (char& ch : name) {
            if (ch == ' ') {
                ch = '_';
            }
        }
        return name;
    });

TEST(FrameScanner, WaitsForAFrameThatArrivesInPieces) {
    for (std::size_t cut = 1; cut < kRead.size(); ++cut) {
        CFrameScanner scanner;
        const std::vector<Bytes> frames =
            Scan(scanner, {Bytes(kRead.begin(), kRead.begin() + cut)});
        EXPECT_TRUE(frames.empty()) << cut;
        EXPECT_EQ(scanner.Pending(), cut);
        EXPECT_EQ(Scan(scanner, {Bytes(kRead.begin() + cut, kRead.end())}),
                  std::vector<Bytes>{kRead})
            << cut;
    }
}

TEST(FrameScanner, ByteByByteWithNoiseBetweenFrames) {
    const Bytes stream = Concat({{0xAA, 0x01}, kRead, {0x03}, kWrite, kOther, {0xFE, 0xFE}, kRead});
    std::vector<Bytes> pieces;
    for (std::uint8_t b : stream) {
        pieces.push_back({b});
    }
    CFrameScanner scanner;
    EXPECT_EQ(Scan(scanner, pieces), (std::vector<Bytes>{kRead, kWrite, kOther, kRead}));
    EXPECT_EQ(scanner.Dropped(), 5u);
    EXPECT_EQ(scanner.Pending(), 0u);
}

TEST(FrameScanner, KeepsABoundedBacklogOfNoise) {
    CFrameScanner scanner;
    Bytes junk(5000);
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    Scan(scanner, {junk});
    EXPECT_LE(scanner.Pending(), CFrameScanner::kMaxPending);
    EXPECT_EQ(Scan(scanner, {kRead}), std::vector<Bytes>{kRead});
}

TEST(FrameScanner, ResetForgetsAPartialFrame) {
    CFrameScanner scanner;
    Scan(scanner, {Bytes(kRead.begin(), kRead.begin() + 5)});
    scanner.Reset();
    EXPECT_EQ(scanner.Pending(), 0u);
    EXPECT_EQ(Scan(scanner, {kWrite}), std::vector<Bytes>{kWrite});
}
