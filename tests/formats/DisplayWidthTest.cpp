#include "formats/DisplayWidth.h"

#include <gtest/gtest.h>

TEST(DisplayWidth, EastAsianWidthWithoutLocale) {
    struct Case {
        const char* text;
        std::size_t width;
    } const cases[] = {
        {"", 0},
        {"Uab 220.0 V", 11},
        {"电池组电流", 10},         // CJK ideographs: wide
        {"0：自动，1：手动", 16},   // fullwidth colon and comma: wide
        {"ＡＢ", 4},                // fullwidth Latin
        {"ｱｲ", 2},                  // halfwidth katakana: narrow
        {"한국", 4},                // Hangul syllables
        {"e\u0301", 1},             // e + combining acute accent
        {"\u7535\u200b\u6d41", 4},  // zero-width space between two ideographs
        {"\xff", 1},                // never valid in UTF-8
        {"a\xe4\xb8", 3},           // a truncated three-byte sequence: two bytes
        {"\xc0\xaf", 2},            // overlong "/"
        {"\xed\xa0\x80", 3},        // a UTF-16 surrogate
        {"\xf4\x90\x80\x80", 4},    // above U+10FFFF
        {"\xe7\x94\xb5\xe6", 3},    // "电" then a stray lead byte
        {"\U0001F600", 2},          // emoji presentation: wide
        {"\U00020000", 2},          // CJK Extension B
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
    }
}

TEST(DisplayWidth, PadRightFillsToColumns) {
    EXPECT_EQ(PadRight("电流", 6), "电流  ");
    EXPECT_EQ(PadRight("电流", 3), "电流");
    EXPECT_EQ(DisplayWidth(PadRight("0：自动", 9)), 9u);
}
