// The application on Qt: the program entry on QApplication and the icon.
#include "console/windowing/WinApp.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

#include "console/windowing/qt/QtWindows.h"

namespace {
// Icon 128 with its 32 and 16 pixel images. The PNG copies stand in when Qt's
// .ico reader (an image-format plugin) is not installed.
constexpr const char* kIconPath = ":/resources/icon128.ico";
constexpr const char* kIconPngPaths[] = {":/resources/icon128.png", ":/resources/icon128-16.png"};
}  // namespace

QIcon AfxLoadMainIcon() {
    QIcon icon;
    if (QFile::exists(kIconPath)) {
        icon.addFile(kIconPath);
    }
    if (icon.availableSizes().isEmpty()) {
        icon = QIcon();
        for (const char* path : kIconPngPaths) {
            if (QFile::exists(path)) {
                icon.addFile(path);
            }
        }
    }
    return icon;
}

// The Qt window waits as it always has: nothing is handled during an exchange.
void AfxKeepAlive() {}

int AfxWinMain(CWinApp& app, int argc, char* argv[]) {
    static char fallbackName[] = "k40tool";
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    QApplication qtApp(qtArgc, qtArgv);
    QApplication::setWindowIcon(AfxLoadMainIcon());
    // Desktops match the running window to its menu entry by this name: the
    // installed k40tool.desktop, which carries the same icon.
    QGuiApplication::setDesktopFileName(QCoreApplication::applicationName());
    if (!app.InitInstance()) {
        return app.ExitInstance();
    }
    QApplication::exec();
    return app.ExitInstance();
}
