#include "console/windowing/WinApp.h"

#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {
CWinApp* g_pApp = nullptr;
}  // namespace

CWinApp::CWinApp(const char16_t* lpszAppName) {
    const char16_t* name = lpszAppName != nullptr ? lpszAppName : FindResourceString(IDS_APP_TITLE);
    m_pszAppName = Utf16ToUtf8(name);
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
