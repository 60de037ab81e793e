// What the Linux-only console tests need of the Qt backend beyond the shared
// support: widgets of windows, screenshots, a fake tree of serial ports.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "console/windowing/qt/QtWindows.h"

class QWidget;

// Saves a picture of the window as name (a .png) in the build's screenshots
// folder, for a look by eye.
void SaveScreenshot(QWidget& window, const char* name);
// A test with a fake tree of serial ports points the program there, and back
// to nowhere (PointPortsNowhere) when it ends.
void PointPortsAt(const std::string& devDir, const std::string& sysDir);
// UTF-8 as Qt text, for comparing with what widgets show.
inline QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}
