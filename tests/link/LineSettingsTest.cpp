#include "link/LineSettings.h"

#include <gtest/gtest.h>

namespace {

struct TimeCase {
    LineSettings line;
    const char* name;
    int bits;
    std::int64_t characterNs;
    std::uint32_t gapMs;
};

}  // namespace

// Bits a character, its time and the 3.5-character gap: 1.75 ms (2 whole ms)
// above 19200 baud whatever the character, 3.5 characters up to it.
TEST(LineSettings, CharacterTimeAndFrameGap) {
    for (const TimeCase& c : {
             TimeCase{{9600, Parity::None, 1}, "9600 baud 8N1", 10, 1041666, 4},    // 3.65 ms
             TimeCase{{9600, Parity::Even, 1}, "9600 baud 8E1", 11, 1145833, 5},    // 4.01 ms
             TimeCase{{9600, Parity::Odd, 2}, "9600 baud 8O2", 12, 1250000, 5},     // 4.38 ms
             TimeCase{{9600, Parity::None, 2}, "9600 baud 8N2", 11, 1145833, 5},
             TimeCase{{600, Parity::None, 1}, "600 baud 8N1", 10, 16666666, 59},    // 58.3 ms
             TimeCase{{600, Parity::Even, 2}, "600 baud 8E2", 12, 20000000, 70},
             TimeCase{{19200, Parity::Even, 1}, "19200 baud 8E1", 11, 572916, 3},  // 2.01 ms
             TimeCase{{38400, Parity::Even, 1}, "38400 baud 8E1", 11, 286458, 2},  // fixed
             TimeCase{{57600, Parity::Odd, 1}, "57600 baud 8O1", 11, 190972, 2},
             TimeCase{{115200, Parity::None, 1}, "115200 baud 8N1", 10, 86805, 2},
         }) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LineName(c.line), c.name);
        EXPECT_EQ(CharacterBits(c.line), c.bits);
        EXPECT_EQ(CharacterNs(c.line), c.characterNs);
        EXPECT_EQ(FrameGapMs(c.line), c.gapMs);
    }
    EXPECT_EQ(FrameGapMs(LineSettings{0}), 2u);  // rate unknown: the fixed gap
}

TEST(LineSettings, ParityWords) {
    Parity p = Parity::None;
    for (Parity q : {Parity::None, Parity::Even, Parity::Odd}) {
        ASSERT_TRUE(ParseParity(ParityName(q), p));
        EXPECT_EQ(p, q);
    }
    for (const char* word : {"", "EVEN", "e", "mark", "space"}) {
        EXPECT_FALSE(ParseParity(word, p)) << word;
    }
}
