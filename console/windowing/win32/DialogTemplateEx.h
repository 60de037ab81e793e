// Turns a dialog layout (resources/DialogTemplate.h) into the extended dialog
// template the Win32 dialog manager builds windows from (DLGTEMPLATEEX with
// its DLGITEMTEMPLATEEX items), in memory: the property sheet creates each
// page from these bytes (PSP_DLGINDIRECT). A pure function on bytes, so it
// is tested on every platform; the style values are the dialog manager's own
// (winuser.h, commctrl.h), checked against those headers where they exist.
#pragma once

#include <cstdint>
#include <vector>

#include "resources/DialogTemplate.h"

namespace dlgtemplate {

// Window and control styles the layouts use.
constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::uint32_t kWsVisible = 0x10000000;
constexpr std::uint32_t kWsBorder = 0x00800000;
constexpr std::uint32_t kWsGroup = 0x00020000;
constexpr std::uint32_t kWsTabStop = 0x00010000;
constexpr std::uint32_t kDsSetFont = 0x40;
constexpr std::uint32_t kDsControl = 0x0400;
constexpr std::uint32_t kBsPushButton = 0x0;
constexpr std::uint32_t kBsGroupBox = 0x7;
constexpr std::uint32_t kBsAutoRadioButton = 0x9;
constexpr std::uint32_t kEsMultiLine = 0x0004;
constexpr std::uint32_t kEsAutoVScroll = 0x0040;
constexpr std::uint32_t kEsAutoHScroll = 0x0080;
constexpr std::uint32_t kEsReadOnly = 0x0800;
constexpr std::uint32_t kSsLeft = 0x0;
constexpr std::uint32_t kSsBitmap = 0xE;
constexpr std::uint32_t kLvsReport = 0x1;

// Predefined window classes by atom; the list view goes by name.
constexpr std::uint16_t kAtomButton = 0x0080;
constexpr std::uint16_t kAtomEdit = 0x0081;
constexpr std::uint16_t kAtomStatic = 0x0082;
constexpr const char16_t* kListViewClass = u"SysListView32";

// The charset byte of the font fields: GB2312, so that where the face is
// missing the font mapper still picks a face with the Chinese characters.
constexpr std::uint8_t kGb2312Charset = 134;

// The face a page is shown in. The layouts ask for "Fixedsys" at 12 points,
// a raster font without Chinese characters outside a Chinese system; NSimSun
// (every Windows since Vista carries it) at 12 points has the same 8 x 16
// pixel cell at 96 dots per inch, Latin letters half a Chinese character wide
// as Fixedsys had on a Chinese system, so the base units and with them the
// layouts' proportions stay as designed. Other faces are kept as asked.
struct DialogFont {
    const char16_t* face;
    std::uint16_t pointSize;
};
DialogFont DialogFontFor(const DlgTemplate& tpl);

// The style of a control of kind and style bits: always a visible child.
std::uint32_t ControlStyle(const DlgControl& c);

// The order of the controls in the template: the layout's, except that the
// label of an edit box (FindEditLabel) comes right before the box, where
// screen readers look for a box's name. Labels are not tab stops and start
// no group, so the tab order and the radio groups stay the layout's.
std::vector<std::size_t> DialogOrder(const DlgTemplate& tpl);

// The whole template of a property page (a child dialog without caption
// bar), font from DialogFontFor, the items in DialogOrder, each aligned on a
// DWORD boundary.
std::vector<std::uint8_t> BuildPageTemplate(const DlgTemplate& tpl);

// Gives the property sheet's own template (DLGTEMPLATE or DLGTEMPLATEEX, as
// comctl32 hands it over before creating the sheet) the pages' font, in
// place: the sheet sizes itself to its pages by its own dialog units, so
// they must be the pages' units, and its tabs and buttons then show the
// Chinese texts as the pages do. The face must not be longer than the one
// the template has; false, with nothing changed, when it is or the template
// names no font.
bool SetTemplateFont(std::uint8_t* tpl, const DialogFont& font);

}  // namespace dlgtemplate
