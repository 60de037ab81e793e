#include "console/windowing/MessageBox.h"

#include "console/windowing/WinApp.h"
#include "resources/StringTable.h"
#include "resources/resource.h"
#include "unit/GbkText.h"

namespace {

IMessageBoxService* g_pService = nullptr;  // null: the backend's box

std::string Caption() {
    if (const CWinApp* app = AfxGetApp()) {
        return app->m_pszAppName;
    }
    return Utf16ToUtf8(FindResourceString(IDS_APP_TITLE));
}

}  // namespace

IMessageBoxService* SetMessageBoxService(IMessageBoxService* pService) {
    IMessageBoxService* previous = g_pService != nullptr ? g_pService : &BackendMessageBoxService();
    g_pService = pService;
    return previous;
}

int AfxMessageBoxUtf8(const std::string& textUtf8, UINT nType) {
    if ((nType & MB_ICONMASK) == 0) {
        nType |= MB_ICONEXCLAMATION;
    }
    IMessageBoxService& service = g_pService != nullptr ? *g_pService : BackendMessageBoxService();
    return service.Show(Caption(), textUtf8, nType);
}

int AfxMessageBox(const char* lpszGbkText, UINT nType) {
    return AfxMessageBoxUtf8(GbkToUtf8(lpszGbkText), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType) {
    return AfxMessageBoxUtf8(Utf16ToUtf8(FindResourceString(static_cast<int>(nIDPrompt))), nType);
}
