#include "resources/StringTable.h"

#include "resources/resource.h"

namespace {

struct StringEntry {
    int id;
    const char16_t* text;
};

// The range messages keep their Chinese quotation marks: they are part of the
// text the user sees.
constexpr StringEntry kStrings[] = {
    {IDS_SHEET_CAPTION, u"K40-MODBUS规约调试软件"},
    {IDS_APP_TITLE, u"K40-MODBUS规约调试软件"},
    {IDS_PARSE_INT, u"请键入一个整数。"},
    {IDS_PARSE_REAL, u"请键入一个数。"},
    {IDS_PARSE_INT_RANGE, u"“请填入一个在%1和%2之间的整数。”"},
    {IDS_PARSE_REAL_RANGE, u"“请填入一个在%1和%2之间的数字。”"},
    {IDS_PARSE_UINT, u"“请填入一个正整数。”"},
};

}  // namespace

const char16_t* FindResourceString(int id) {
    for (const StringEntry& e : kStrings) {
        if (e.id == id) {
            return e.text;
        }
    }
    return nullptr;
}

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHigh(char16_t u) {
    return u >= 0xD800 && u < 0xDC00;
}

bool IsLow(char16_t u) {
    return u >= 0xDC00 && u < 0xE000;
}

}  // namespace

std::string Utf16ToUtf8(const char16_t* text) {
    std::string out;
    for (const char16_t* p = text; p != nullptr && *p != u'\0'; ++p) {
        char32_t c = *p;
        if (IsHigh(p[0]) && IsLow(p[1])) {
            c = 0x10000 + ((static_cast<char32_t>(p[0]) - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        } else if (IsHigh(p[0]) || IsLow(p[0])) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}
