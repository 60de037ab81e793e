// The in-memory dialog templates of the Win32 pages, read back field by field
// as the dialog manager reads them (DLGTEMPLATEEX, DLGITEMTEMPLATEEX). The
// expected styles are written as the numbers a resource compiler gives the
// same controls, not through the builder's own constants.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "console/windowing/win32/DialogTemplateEx.h"
#include "resources/resource.h"

namespace {

using NameOrOrdinal = std::variant<std::u16string, int>;

struct Item {
    std::size_t offset;
    std::uint32_t style;
    short x, y, cx, cy;
    std::uint32_t id;
    NameOrOrdinal cls;
    NameOrOrdinal text;
};

struct Parsed {
    std::uint32_t style;
    int count;
    short cx, cy;
    std::u16string caption;
    int pointSize, weight, charset;
    std::u16string face;
    std::vector<Item> items;
    std::size_t end;
};

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& b) : m_b(b) {}
    int Word() {
        const int w = m_b.at(m_pos) | (m_b.at(m_pos + 1) << 8);
        m_pos += 2;
        return w;
    }
    std::uint32_t Dword() {
        const std::uint32_t lo = Word();
        return lo | (static_cast<std::uint32_t>(Word()) << 16);
    }
    int Byte() { return m_b.at(m_pos++); }
    std::u16string Text() {
        std::u16string s;
        for (int c = Word(); c != 0; c = Word()) {
            s.push_back(static_cast<char16_t>(c));
        }
        return s;
    }
    NameOrOrdinal NameOrOrd() {
        if (m_b.at(m_pos) == 0xFF && m_b.at(m_pos + 1) == 0xFF) {
            m_pos += 2;
            return Word();
        }
        return Text();
    }
    void Align() { m_pos = (m_pos + 3) & ~std::size_t{3}; }
    std::size_t Pos() const { return m_pos; }

private:
    const std::vector<std::uint8_t>& m_b;
    std::size_t m_pos = 0;
};

Parsed Parse(const std::vector<std::uint8_t>& bytes) {
    Reader r(bytes);
    Parsed p{};
    EXPECT_EQ(r.Word(), 1);
    EXPECT_EQ(r.Word(), 0xFFFF);
    r.Dword();
    EXPECT_EQ(r.Dword(), 0u);
    p.style = r.Dword();
    p.count = r.Word();
    r.Word();
    r.Word();
    p.cx = static_cast<short>(r.Word());
    p.cy = static_cast<short>(r.Word());
    EXPECT_EQ(r.Word(), 0);  // menu
    EXPECT_EQ(r.Word(), 0);  // class
    p.caption = r.Text();
    p.pointSize = r.Word();
    p.weight = r.Word();
    r.Byte();
    p.charset = r.Byte();
    p.face = r.Text();
    for (int i = 0; i < p.count; ++i) {
        r.Align();
        Item it{};
        it.offset = r.Pos();
        r.Dword();
        EXPECT_EQ(r.Dword(), 0u);
        it.style = r.Dword();
        it.x = static_cast<short>(r.Word());
        it.y = static_cast<short>(r.Word());
        it.cx = static_cast<short>(r.Word());
        it.cy = static_cast<short>(r.Word());
        it.id = r.Dword();
        it.cls = r.NameOrOrd();
        it.text = r.NameOrOrd();
        EXPECT_EQ(r.Word(), 0);  // creation data
        p.items.push_back(it);
    }
    p.end = r.Pos();
    return p;
}

TEST(DialogTemplateEx, EveryLayoutIsAChildPageInNSimSunWithItsControlsInOrder) {
    for (int idd : {IDD_COM, IDD_READ, IDD_CTRL, IDD_ABOUT}) {
        SCOPED_TRACE(idd);
        const DlgTemplate* tpl = FindDialogTemplate(idd);
        ASSERT_NE(tpl, nullptr);
        const std::vector<std::uint8_t> bytes = dlgtemplate::BuildPageTemplate(*tpl);
        const Parsed p = Parse(bytes);
        // WS_CHILD | DS_CONTROL | DS_SETFONT; no caption bar, not visible.
        EXPECT_EQ(p.style, 0x40000440u);
        EXPECT_EQ(p.count, static_cast<int>(tpl->count));
        EXPECT_EQ(p.cx, tpl->cx);
        EXPECT_EQ(p.cy, tpl->cy);
        EXPECT_EQ(p.caption, tpl->caption);
        EXPECT_EQ(p.face, u"NSimSun");
        EXPECT_EQ(p.pointSize, 12);
        EXPECT_EQ(p.weight, 400);
        EXPECT_EQ(p.charset, 134);  // GB2312
        EXPECT_EQ(p.end, bytes.size());
        const std::vector<std::size_t> order = dlgtemplate::DialogOrder(*tpl);
        ASSERT_EQ(order.size(), p.items.size());
        for (std::size_t k = 0; k < p.items.size(); ++k) {
            const DlgControl& c = tpl->controls[order[k]];
            EXPECT_EQ(p.items[k].offset % 4, 0u) << k;
            EXPECT_EQ(p.items[k].id, static_cast<std::uint32_t>(c.id)) << k;
            EXPECT_EQ(p.items[k].x, c.x) << k;
            EXPECT_EQ(p.items[k].y, c.y) << k;
        }
        // Every control once; the controls that are not labels (tab stops,
        // group starts) keep the layout's order.
        std::vector<std::size_t> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            EXPECT_EQ(sorted[i], i);
        }
        std::size_t last = 0;
        for (std::size_t index : order) {
            if (tpl->controls[index].kind != CtlKind::Static) {
                EXPECT_GE(index, last);
                last = index;
            }
        }
    }
}

struct ControlCase {
    int idd;
    std::size_t index;
    NameOrOrdinal cls;
    std::uint32_t style;
    NameOrOrdinal text;
    short cx, cy;
};

TEST(DialogTemplateEx, ControlsGetTheirClassStyleAndText) {
    const ControlCase cases[] = {
        // 600 baud: AUTORADIOBUTTON starting its group, in the tab order.
        {IDD_COM, 0, 0x80, 0x50030009, u"600", 23, 10},
        {IDD_COM, 1, 0x80, 0x50000009, u"1200", 31, 10},
        {IDD_COM, 7, 0x80, 0x50030009, u"COM1", 34, 9},
        // Address: bordered, scrolling sideways, starting a group.
        {IDD_COM, 9, 0x81, 0x50830080, u"", 34, 12},
        {IDD_COM, 11, 0x80, 0x50010000, u"设  置", 50, 14},
        {IDD_COM, 12, 0x80, 0x50000007, u"串口", 92, 24},
        {IDD_COM, 14, 0x82, 0x50000000, u"子站地址:", 41, 11},
        // The signal list in report view, the send box read-only, the
        // reply box also multi-line.
        {IDD_READ, 3, u"SysListView32", 0x50810001, u"", 158, 171},
        {IDD_READ, 4, 0x81, 0x50810880, u"", 132, 13},
        {IDD_READ, 5, 0x81, 0x508108C4, u"", 132, 110},
        // The emblem: SS_BITMAP naming bitmap 130, 260 x 124 pixels.
        {IDD_ABOUT, 0, 0x82, 0x5000000E, 130, 130, 62},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.idd << " #" << c.index);
        const DlgTemplate& tpl = *FindDialogTemplate(c.idd);
        const Parsed p = Parse(dlgtemplate::BuildPageTemplate(tpl));
        const std::vector<std::size_t> order = dlgtemplate::DialogOrder(tpl);
        const auto at = std::find(order.begin(), order.end(), c.index);
        ASSERT_NE(at, order.end());
        const Item& it = p.items[static_cast<std::size_t>(at - order.begin())];
        EXPECT_EQ(it.cls, c.cls);
        EXPECT_EQ(it.style, c.style) << std::hex << it.style;
        EXPECT_EQ(it.text, c.text);
        EXPECT_EQ(it.cx, c.cx);
        EXPECT_EQ(it.cy, c.cy);
    }
}

// Screen readers name an edit box by the static text just before it.
TEST(DialogTemplateEx, EachEditBoxFollowsItsLabel) {
    const struct {
        int idd;
        int box;
        std::u16string label;
    } cases[] = {
        {IDD_COM, IDC_ADDR, u"子站地址:"},       {IDD_COM, IDC_WAITTIME, u"等待时间:"},
        {IDD_READ, IDC_SENDEDIT, u"发送"},       {IDD_READ, IDC_RECVEDIT, u"接收"},
        {IDD_CTRL, IDC_MODULE, u"被调模块序号"}, {IDD_CTRL, IDC_VOLTAGE, u"调整电压"},
        {IDD_CTRL, IDC_CURRENT, u"调整电流"},    {IDD_CTRL, IDC_RECVEDIT, u"接收"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        const Parsed p = Parse(dlgtemplate::BuildPageTemplate(*FindDialogTemplate(c.idd)));
        const auto box = std::find_if(p.items.begin(), p.items.end(), [&](const Item& it) {
            return it.id == static_cast<std::uint32_t>(c.box);
        });
        ASSERT_NE(box, p.items.end());
        ASSERT_NE(box, p.items.begin());
        EXPECT_EQ((box - 1)->text, NameOrOrdinal(c.label));
    }
}

// A classic DLGTEMPLATE as comctl32 keeps its sheet: a font, then two items
// (a button by atom, a static with creation data).
std::vector<std::uint8_t> ClassicSheet(const std::u16string& face, int points,
                                       std::uint32_t style) {
    std::vector<std::uint8_t> b;
    auto word = [&b](int w) {
        b.push_back(static_cast<std::uint8_t>(w & 0xFF));
        b.push_back(static_cast<std::uint8_t>((w >> 8) & 0xFF));
    };
    auto dword = [&word](std::uint32_t d) {
        word(static_cast<int>(d & 0xFFFF));
        word(static_cast<int>(d >> 16));
    };
    auto text = [&word](const std::u16string& s) {
        for (char16_t ch : s) {
            word(ch);
        }
        word(0);
    };
    auto align = [&b] {
        while (b.size() % 4 != 0) {
            b.push_back(0);
        }
    };
    dword(style);
    dword(0);
    word(2);
    for (int v : {0, 0, 212, 188}) {
        word(v);
    }
    word(0);
    word(0);
    text(u"Properties");
    word(points);
    text(face);
    align();
    dword(0x50010000);
    dword(0);
    for (int v : {4, 4, 50, 14, 1}) {
        word(v);
    }
    word(0xFFFF);
    word(0x80);
    text(u"OK");
    word(0);
    align();
    dword(0x50000000);
    dword(0);
    for (int v : {4, 24, 50, 8, 0xFFFF}) {
        word(v);
    }
    text(u"Static");
    text(u"label");
    word(4);  // creation data of two bytes, counted with its count
    word(0x1234);
    return b;
}

TEST(DialogTemplateEx, TheSheetTakesThePagesFontWithItsItemsIntact) {
    // DS_SETFONT | DS_FIXEDSYS ("MS Shell Dlg" 8) becomes DS_SETFONT NSimSun 12.
    std::vector<std::uint8_t> sheet = ClassicSheet(u"MS Shell Dlg", 8, 0x80C80048);
    const std::vector<std::uint8_t> expected = ClassicSheet(u"NSimSun", 12, 0x80C80040);
    ASSERT_TRUE(dlgtemplate::SetTemplateFont(sheet.data(), {u"NSimSun", 12}));
    ASSERT_GE(sheet.size(), expected.size());
    EXPECT_EQ(std::vector<std::uint8_t>(sheet.begin(), sheet.begin() + expected.size()), expected);

    // A face longer than the room there is leaves the template as it was.
    std::vector<std::uint8_t> narrow = ClassicSheet(u"Arial", 8, 0x80C80048);
    const std::vector<std::uint8_t> before = narrow;
    EXPECT_FALSE(dlgtemplate::SetTemplateFont(narrow.data(), {u"NSimSun", 12}));
    EXPECT_EQ(narrow, before);
}

}  // namespace
