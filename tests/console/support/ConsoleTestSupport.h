// Small helpers for driving pages and sheets by control ID.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class QWidget;

// Clicks the button (push or radio) as the user would.
void ClickButton(QWidget* pButton);
// Replaces what a box holds, as typing would.
void TypeInto(QWidget* pEdit, const QString& text);
// The text of a box (one-line or multi-line), a button or a label.
QString TextOf(QWidget* pWnd);
bool IsChecked(QWidget* pButton);
// Puts theComm back to its start state: port closed, COM1, 9600, address 1,
// 1500 ms, as a fresh program has it.
void ResetTheComm();
// Where the program looks for serial ports: in the tests nowhere (set before
// the first test), so COMn without its K40_COMn is a missing device and no
// test reaches the machine's ports; a test with a fake tree points them there
// and back to nowhere when it ends.
void PointPortsNowhere();
void PointPortsAt(const std::string& devDir, const std::string& sysDir);
// Bytes as the send and receive boxes show them when they fit on one line:
// two hex digits and a blank each.
QString Hex(const std::vector<std::uint8_t>& bytes);
// Saves a picture of the window as name (a .png) in the build's screenshots
// folder, for a look by eye.
void SaveScreenshot(QWidget& window, const char* name);
