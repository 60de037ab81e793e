// Dialog layouts as data: each page of the main sheet is built from one of
// these at run time. Positions and sizes are in dialog units (a quarter of
// the font's average character width, an eighth of its height); the texts are
// UTF-16. The controls are listed in dialog order, which is also the tab order
// and the order in which radio groups are walked.
#pragma once

#include <cstddef>
#include <cstdint>

enum class CtlKind {
    AutoRadio,  // radio button that checks itself and clears its group
    PushButton,
    Edit,
    GroupBox,
    Static,    // left-aligned static text
    ListView,  // list view in report style
    Picture,   // static showing a bitmap resource, sized to the bitmap
};

// Style bits of a control (the ones the pages use).
enum CtlStyle : std::uint32_t {
    kGroup = 1u << 0,  // starts a group: radio groups run to the next one
    kTabStop = 1u << 1,
    kBorder = 1u << 2,
    kReadOnly = 1u << 3,
    kMultiLine = 1u << 4,
    kAutoHScroll = 1u << 5,  // scrolls sideways instead of wrapping or refusing text
    kReport = 1u << 6,       // list view: columns with a header
};

struct DlgControl {
    int id;
    CtlKind kind;
    const char16_t* text;
    // Dialog units; for a picture cx and cy are the bitmap's size in pixels,
    // which the control takes when the bitmap cannot be loaded.
    short x, y, cx, cy;
    std::uint32_t style;
    int image = 0;  // bitmap resource of a picture
};

struct DlgTemplate {
    int id;
    const char16_t* caption;  // the tab text of the page
    short cx, cy;             // dialog units
    const char16_t* fontFace;
    int pointSize;
    const DlgControl* controls;
    std::size_t count;
};

// The layout with that ID, or null.
const DlgTemplate* FindDialogTemplate(int id);
