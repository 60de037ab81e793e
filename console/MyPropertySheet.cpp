#include "console/MyPropertySheet.h"

#include "resources/resource.h"

CMyPropertySheet::CMyPropertySheet(CWnd* pParentWnd)
    : CPropertySheet(IDS_SHEET_CAPTION, pParentWnd, 0) {
    AddPage(&m_COMPage);
    AddPage(&m_ReadPage);
    AddPage(&m_CtrlPage);
    AddPage(&m_AboutPage);
}

CMyPropertySheet::~CMyPropertySheet() = default;

void CMyPropertySheet::OnShowWindow(BOOL bShow, UINT nStatus) {
    CPropertySheet::OnShowWindow(bShow, nStatus);
    // The row is turned once. Without this guard a later show would find
    // the exit button under IDCANCEL and destroy it, leaving the sheet with
    // no button to close it by.
    CWnd* help = GetDlgItem(IDHELP);
    if (help == nullptr) {
        return;
    }
    for (int id : {IDOK, IDCANCEL, ID_APPLY_NOW}) {
        if (CWnd* button = GetDlgItem(id)) {
            button->DestroyWindow();
        }
    }
    help->SetDlgCtrlID(IDCANCEL);
    SetDlgItemText(IDCANCEL, "退 出");
}
