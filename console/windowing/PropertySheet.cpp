// What the sheet does the same way on every backend: its pages by index and
// the texts of its button row. The window itself is the backend's.
#include "console/windowing/PropertySheet.h"

#include "console/windowing/PropertyPage.h"
#include "console/windowing/SheetBackend.h"
#include "console/windowing/WinApp.h"
#include "resources/resource.h"

CPropertyPage* CPropertySheet::GetPage(int nPage) const {
    if (nPage < 0 || nPage >= GetPageCount()) {
        return nullptr;
    }
    return m_pages[static_cast<std::size_t>(nPage)];
}

BOOL CPropertySheet::SetActivePage(int nPage) {
    if (!SheetHasTabs(*this)) {
        m_nStartPage = nPage;
        return TRUE;
    }
    if (nPage < 0 || nPage >= GetPageCount()) {
        return FALSE;
    }
    if (nPage == m_nCurPage) {
        return TRUE;
    }
    return ChangeSheetPage(*this, nPage);
}

void CPropertySheet::SetDlgItemText(int nID, const char* lpszGbkText) {
    if (CWnd* button = GetDlgItem(nID)) {
        button->SetWindowText(lpszGbkText);
    }
}

void CPropertySheet::OnShowWindow(BOOL /*bShow*/, UINT /*nStatus*/) {}

// OK and Cancel are carried out by the backend's sheet, which asks the pages.
BOOL CPropertySheet::OnCommand(int nID) {
    switch (nID) {
        case IDOK:
            CloseSheetOk(*this);
            return TRUE;
        case IDCANCEL:
            CloseSheetCancel(*this);
            return TRUE;
        case ID_APPLY_NOW:
            if (GetActivePage() != nullptr) {
                GetActivePage()->OnKillActive();
            }
            return TRUE;
        case IDHELP:
            if (CWinApp* app = AfxGetApp()) {
                app->OnHelp();
            }
            return TRUE;
        default:
            return FALSE;
    }
}
