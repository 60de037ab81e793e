// The string table's texts as UTF-8, the form the window layer hands to
// message boxes and tabs: the compiler's own UTF-8 encoding of the same
// literals is the reference.
#include <gtest/gtest.h>

#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {

TEST(StringTable, Utf16ToUtf8EncodesEveryPlane) {
    const struct {
        const char16_t* in;
        const char* out;
    } cases[] = {
        {u"", ""},
        {u"COM1", "COM1"},
        {u"串口设置", "串口设置"},
        {u"“请填入一个正整数。”", "“请填入一个正整数。”"},
        {u"\u00e9\u07ff\u0800\uffff", "\u00e9\u07ff\u0800\uffff"},
        {u"\U0001F50C!", "\U0001F50C!"},  // a surrogate pair: one 4-byte character
        {u"a\xD83Dz", "a\uFFFDz"},        // a lone high surrogate
        {u"\xDC00", "\uFFFD"},            // a lone low surrogate
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf16ToUtf8(c.in), c.out);
    }
    EXPECT_EQ(Utf16ToUtf8(nullptr), "");
    EXPECT_EQ(Utf16ToUtf8(FindResourceString(IDS_APP_TITLE)), "K40-MODBUS规约调试软件");
}

}  // namespace
