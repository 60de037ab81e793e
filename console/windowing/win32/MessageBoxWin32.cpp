// The default message box on Win32: MessageBoxW owned by the active window
// (the sheet), so that it is modal to it, with the icon asked for.
#include "console/windowing/MessageBox.h"

#include "base/win32/Wide.h"
#include "console/windowing/WinApp.h"
#include "console/windowing/win32/Win32Windows.h"

namespace {

class CWin32MessageBoxService : public IMessageBoxService {
public:
    int Show(const std::string& caption, const std::string& text, UINT nType) override {
        HWND owner = GetActiveWindow();
        if (owner == nullptr && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd != nullptr) {
            owner = WindowingBackend::Handle(*AfxGetApp()->m_pMainWnd);
        }
        MessageBoxW(owner, Utf16(text).c_str(), Utf16(caption).c_str(),
                    MB_OK | (nType & MB_ICONMASK));
        return IDOK;
    }
};

}  // namespace

IMessageBoxService& BackendMessageBoxService() {
    static CWin32MessageBoxService service;
    return service;
}
