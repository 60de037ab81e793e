#include "console/windowing/win32/DialogTemplateEx.h"

#include "console/windowing/DlgLabel.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace dlgtemplate {

namespace {

constexpr std::u16string_view kFixedsys = u"Fixedsys";
constexpr const char16_t* kFixedsysStandIn = u"NSimSun";
// The nominal base units of the layouts' font, 8 x 16 pixels: a picture's
// size is given in pixels and goes into the template in dialog units.
constexpr int kBaseX = 8;
constexpr int kBaseY = 16;
constexpr std::uint16_t kFwNormal = 400;

// Little-endian fields as the template holds them.
class Writer {
public:
    void Word(std::uint16_t w) {
        m_bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
        m_bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    void Dword(std::uint32_t d) {
        Word(static_cast<std::uint16_t>(d & 0xFFFF));
        Word(static_cast<std::uint16_t>(d >> 16));
    }
    void Short(short s) { Word(static_cast<std::uint16_t>(s)); }
    void Byte(std::uint8_t b) { m_bytes.push_back(b); }
    // A NUL-terminated UTF-16 text; null writes the empty text.
    void Text(const char16_t* s) {
        for (; s != nullptr && *s != u'\0'; ++s) {
            Word(static_cast<std::uint16_t>(*s));
        }
        Word(0);
    }
    // An ordinal in a name-or-ordinal field: 0xFFFF, then the number.
    void Ordinal(std::uint16_t n) {
        Word(0xFFFF);
        Word(n);
    }
    void AlignDword() {
        while (m_bytes.size() % 4 != 0) {
            m_bytes.push_back(0);
        }
    }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

std::uint32_t EditStyle(std::uint32_t bits) {
    std::uint32_t style = 0;
    if ((bits & kMultiLine) != 0) {
        // No scroll bars: the read page's reply box shows whole frames, the
        // control page's is one line high; the caret scrolls the text.
        style |= kEsMultiLine | kEsAutoVScroll;
    }
    if ((bits & kAutoHScroll) != 0) {
        style |= kEsAutoHScroll;
    }
    if ((bits & kReadOnly) != 0) {
        style |= kEsReadOnly;
    }
    return style;
}

std::uint32_t KindStyle(const DlgControl& c) {
    switch (c.kind) {
        case CtlKind::AutoRadio:
            return kBsAutoRadioButton;
        case CtlKind::PushButton:
            return kBsPushButton;
        case CtlKind::Edit:
            return EditStyle(c.style);
        case CtlKind::GroupBox:
            return kBsGroupBox;
        case CtlKind::Static:
            return kSsLeft;
        case CtlKind::ListView:
            return (c.style & kReport) != 0 ? kLvsReport : 0;
        case CtlKind::Picture:
            return kSsBitmap;
    }
    return 0;
}

void WriteClass(Writer& w, CtlKind kind) {
    switch (kind) {
        case CtlKind::AutoRadio:
        case CtlKind::PushButton:
        case CtlKind::GroupBox:
            w.Ordinal(kAtomButton);
            return;
        case CtlKind::Edit:
            w.Ordinal(kAtomEdit);
            return;
        case CtlKind::ListView:
            w.Text(kListViewClass);
            return;
        case CtlKind::Static:
        case CtlKind::Picture:
            w.Ordinal(kAtomStatic);
            return;
    }
}

void WriteItem(Writer& w, const DlgControl& c) {
    w.AlignDword();
    w.Dword(0);  // help ID
    w.Dword(0);  // extended style
    w.Dword(ControlStyle(c));
    w.Short(c.x);
    w.Short(c.y);
    if (c.kind == CtlKind::Picture) {
        // Pixels to dialog units; the control takes the bitmap's own size.
        w.Short(static_cast<short>(c.cx * 4 / kBaseX));
        w.Short(static_cast<short>(c.cy * 8 / kBaseY));
    } else {
        w.Short(c.cx);
        w.Short(c.cy);
    }
    w.Dword(static_cast<std::uint32_t>(c.id));
    WriteClass(w, c.kind);
    if (c.kind == CtlKind::Picture) {
        w.Ordinal(static_cast<std::uint16_t>(c.image));  // the bitmap resource
    } else {
        w.Text(c.text);
    }
    w.Word(0);  // no creation data
}

}  // namespace

DialogFont DialogFontFor(const DlgTemplate& tpl) {
    if (tpl.fontFace == nullptr || kFixedsys == tpl.fontFace) {
        return {kFixedsysStandIn, 12};
    }
    return {tpl.fontFace, static_cast<std::uint16_t>(tpl.pointSize)};
}

std::uint32_t ControlStyle(const DlgControl& c) {
    std::uint32_t style = kWsChild | kWsVisible | KindStyle(c);
    if ((c.style & kGroup) != 0) {
        style |= kWsGroup;
    }
    if ((c.style & kTabStop) != 0) {
        style |= kWsTabStop;
    }
    if ((c.style & kBorder) != 0) {
        style |= kWsBorder;
    }
    return style;
}

std::vector<std::size_t> DialogOrder(const DlgTemplate& tpl) {
    std::vector<int> labelOf(tpl.count, -1);
    std::vector<bool> isLabel(tpl.count, false);
    for (std::size_t i = 0; i < tpl.count; ++i) {
        if (tpl.controls[i].kind != CtlKind::Edit) {
            continue;
        }
        const int label = FindEditLabel(tpl, i);
        if (label >= 0 && !isLabel[static_cast<std::size_t>(label)]) {
            labelOf[i] = label;
            isLabel[static_cast<std::size_t>(label)] = true;
        }
    }
    std::vector<std::size_t> order;
    order.reserve(tpl.count);
    for (std::size_t i = 0; i < tpl.count; ++i) {
        if (isLabel[i]) {
            continue;
        }
        if (labelOf[i] >= 0) {
            order.push_back(static_cast<std::size_t>(labelOf[i]));
        }
        order.push_back(i);
    }
    return order;
}

std::vector<std::uint8_t> BuildPageTemplate(const DlgTemplate& tpl) {
    const DialogFont font = DialogFontFor(tpl);
    Writer w;
    w.Word(1);       // version
    w.Word(0xFFFF);  // signature of the extended template
    w.Dword(0);      // help ID
    w.Dword(0);      // extended style
    w.Dword(kWsChild | kDsControl | kDsSetFont);
    w.Word(static_cast<std::uint16_t>(tpl.count));
    w.Short(0);
    w.Short(0);
    w.Short(tpl.cx);
    w.Short(tpl.cy);
    w.Word(0);  // no menu
    w.Word(0);  // the dialog class
    w.Text(tpl.caption);
    w.Word(font.pointSize);
    w.Word(kFwNormal);
    w.Byte(0);  // not italic
    w.Byte(kGb2312Charset);
    w.Text(font.face);
    for (std::size_t i : DialogOrder(tpl)) {
        WriteItem(w, tpl.controls[i]);
    }
    return w.Take();
}

}  // namespace dlgtemplate

namespace dlgtemplate {

namespace {

constexpr std::uint32_t kDsFixedSys = 0x0008;

// Reads a template's fields in place, little-endian.
class Cursor {
public:
    explicit Cursor(const std::uint8_t* p) : m_p(p) {}
    std::uint16_t Word() {
        const std::uint16_t w = static_cast<std::uint16_t>(m_p[m_pos] | (m_p[m_pos + 1] << 8));
        m_pos += 2;
        return w;
    }
    std::uint32_t Dword() {
        const std::uint32_t lo = Word();
        return lo | (static_cast<std::uint32_t>(Word()) << 16);
    }
    void Skip(std::size_t n) { m_pos += n; }
    void SkipText() {
        while (Word() != 0) {
        }
    }
    // A name-or-ordinal field: none, 0xFFFF and a number, or a text.
    void SkipNameOrOrdinal() {
        const std::uint16_t first = Word();
        if (first == 0xFFFF) {
            Word();
        } else if (first != 0) {
            SkipText();
        }
    }
    void Align() { m_pos = (m_pos + 3) & ~std::size_t{3}; }
    std::size_t Pos() const { return m_pos; }

private:
    const std::uint8_t* m_p;
    std::size_t m_pos = 0;
};

void PutWord(std::uint8_t* p, std::uint16_t w) {
    p[0] = static_cast<std::uint8_t>(w & 0xFF);
    p[1] = static_cast<std::uint8_t>(w >> 8);
}

// Past the items: each DWORD-aligned, its creation data counted in bytes
// that follow (extended) or including the count itself (classic).
std::size_t EndOfItems(Cursor c, std::uint16_t count, bool extended) {
    for (std::uint16_t i = 0; i < count; ++i) {
        c.Align();
        c.Skip(extended ? 24 : 18);  // styles, help ID, position, size, ID
        c.SkipNameOrOrdinal();       // class
        c.SkipNameOrOrdinal();       // title
        const std::uint16_t extra = c.Word();
        c.Skip(extended ? extra : (extra > 2 ? extra - 2u : 0u));
    }
    return c.Pos();
}

}  // namespace

bool SetTemplateFont(std::uint8_t* tpl, const DialogFont& font) {
    Cursor c(tpl);
    const bool extended = c.Word() == 1 && c.Word() == 0xFFFF;
    c = Cursor(tpl);
    std::size_t styleAt = 0;
    if (extended) {
        c.Skip(12);  // version, signature, help ID, extended style
        styleAt = c.Pos();
        c.Skip(4);
    } else {
        styleAt = c.Pos();
        c.Skip(8);  // style, extended style
    }
    Cursor atStyle(tpl + styleAt);
    const std::uint32_t style = atStyle.Dword();
    const std::uint16_t count = c.Word();
    c.Skip(8);              // position and size
    c.SkipNameOrOrdinal();  // menu
    c.SkipNameOrOrdinal();  // class
    c.SkipText();           // title
    if ((style & kDsSetFont) == 0) {
        return false;
    }
    const std::size_t pointAt = c.Pos();
    c.Skip(extended ? 6 : 2);  // point size, weight, italic, charset
    const std::size_t faceAt = c.Pos();
    c.SkipText();
    const std::size_t oldFaceBytes = c.Pos() - faceAt;
    c.Align();
    const std::size_t itemsAt = c.Pos();
    const std::size_t end = EndOfItems(c, count, extended);

    const std::u16string_view face(font.face);
    const std::size_t newFaceBytes = (face.size() + 1) * 2;
    if (newFaceBytes > oldFaceBytes) {
        return false;
    }
    PutWord(tpl + styleAt, static_cast<std::uint16_t>((style & ~kDsFixedSys) & 0xFFFF));
    PutWord(tpl + pointAt, font.pointSize);
    if (extended) {
        PutWord(tpl + pointAt + 2, kFwNormal);
        tpl[pointAt + 4] = 0;
        tpl[pointAt + 5] = kGb2312Charset;
    }
    for (std::size_t i = 0; i <= face.size(); ++i) {
        PutWord(tpl + faceAt + 2 * i, i < face.size() ? static_cast<std::uint16_t>(face[i]) : 0);
    }
    // Both starts are DWORD-aligned, so the items keep their alignment.
    const std::size_t newItemsAt = (faceAt + newFaceBytes + 3) & ~std::size_t{3};
    std::memset(tpl + faceAt + newFaceBytes, 0, newItemsAt - faceAt - newFaceBytes);
    std::memmove(tpl + newItemsAt, tpl + itemsAt, end - itemsAt);
    return true;
}

}  // namespace dlgtemplate
