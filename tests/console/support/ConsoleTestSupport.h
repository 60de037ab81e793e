// Small helpers for driving pages and sheets by control ID, on either
// backend: texts in and out are UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CPropertySheet;
class CWnd;

// Texts as the tests compare them: UTF-8.
using Strings = std::vector<std::string>;

// Clicks the button (push or radio) as the user would.
void ClickButton(CWnd* pButton);
// Replaces what a box holds, as typing would.
void TypeInto(CWnd* pEdit, const std::string& utf8);
// The text of a box (one-line or multi-line; line breaks as the box holds
// them, LF), a button, a label, or the caption of a sheet.
std::string TextOf(CWnd* pWnd);
bool IsChecked(CWnd* pButton);
// Whether the window is on screen (shown, and its parents too).
bool IsShown(CWnd* pWnd);
// Whether pItem is the window of the sheet (or page) pTop that has the
// keyboard focus, or gets it when pTop becomes active.
bool HasFocus(CWnd* pTop, CWnd* pItem);
// The selected part of an edit box's text.
std::string SelectedText(CWnd* pEdit);
// The text of the sheet's tab nPage, as the tab shows it.
std::string TabText(CPropertySheet& sheet, int nPage);
// Runs task from the event loop, once the caller has gone back to it (a
// modal loop started afterwards counts).
void RunSoon(std::function<void()> task);
// Runs the window system's pending work (posted clicks, queued tab changes,
// paints) until none is left.
void ProcessEvents();
// Sets an environment variable for the program's later reads; null unsets it.
void SetEnv(const char* name, const char* value);
// Puts theComm back to its start state: port closed, COM1, 9600, address 1,
// 1500 ms, as a fresh program has it.
void ResetTheComm();
// Where the program looks for serial ports: in the tests nowhere (set before
// the first test), so COMn without its K40_COMn is a missing device and no
// test reaches the machine's ports.
void PointPortsNowhere();
// Bytes as the send and receive boxes show them when they fit on one line:
// two hex digits and a blank each.
std::string Hex(const std::vector<std::uint8_t>& bytes);
// A GBK text of the program as UTF-8, for comparing with TextOf.
std::string Utf8(const char* gbk);
