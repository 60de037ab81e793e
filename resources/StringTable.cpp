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
