#include "console/windowing/WinApp.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {
CWinApp* g_pApp = nullptr;
constexpr const char* kIconPath = ":/resources/icon128.ico";
}  // namespace

CWinApp::CWinApp(const char16_t* lpszAppName) {
    const char16_t* name = lpszAppName != nullptr ? lpszAppName : FindResourceString(IDS_APP_TITLE);
    m_pszAppName = QString::fromUtf16(name);
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this) {
        g_pApp = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() {
    return g_pApp;
}

int AfxWinMain(CWinApp& app, int argc, char* argv[]) {
    static char fallbackName[] = "k40tool";
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    QApplication qtApp(qtArgc, qtArgv);
    if (QFile::exists(kIconPath)) {
        QApplication::setWindowIcon(QIcon(kIconPath));
    }
    if (!app.InitInstance()) {
        return app.ExitInstance();
    }
    QApplication::exec();
    return app.ExitInstance();
}
