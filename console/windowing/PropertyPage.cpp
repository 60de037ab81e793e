#include "console/windowing/PropertyPage.h"

#include "resources/StringTable.h"

CPropertyPage::CPropertyPage(UINT nIDTemplate)
    : m_nIDTemplate(nIDTemplate), m_pTemplate(FindDialogTemplate(static_cast<int>(nIDTemplate))) {}

// The controls' objects go first; the page's window goes with CWnd.
CPropertyPage::~CPropertyPage() = default;

std::string CPropertyPage::GetCaption() const {
    return m_pTemplate != nullptr ? Utf16ToUtf8(m_pTemplate->caption) : std::string();
}

BOOL CPropertyPage::UpdateData(BOOL bSaveAndValidate) {
    if (GetSafeHwnd() == nullptr) {
        return FALSE;
    }
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return dx.Failed() ? FALSE : TRUE;
}

CWnd* CPropertyPage::GetDlgItem(int nID) const {
    for (const DlgItem& item : m_items) {
        if (item.wnd->GetSafeHwnd() != nullptr && item.wnd->GetDlgCtrlID() == nID) {
            return item.wnd.get();
        }
    }
    return nullptr;
}

std::vector<CWnd*> CPropertyPage::GetRadioGroup(int nIDFirst) const {
    std::vector<CWnd*> buttons;
    bool inGroup = false;
    for (const DlgItem& item : m_items) {
        if (inGroup && (item.ctl->style & kGroup) != 0) {
            break;
        }
        const bool alive = item.wnd->GetSafeHwnd() != nullptr;
        if (!inGroup && alive && item.wnd->GetDlgCtrlID() == nIDFirst) {
            inGroup = true;
        }
        if (inGroup && alive && item.ctl->kind == CtlKind::AutoRadio) {
            buttons.push_back(item.wnd.get());
        }
    }
    return buttons;
}

BOOL CPropertyPage::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CPropertyPage::OnSetActive() {
    if (m_bFirstSetActive) {
        m_bFirstSetActive = false;
    } else {
        UpdateData(FALSE);
    }
    return TRUE;
}

BOOL CPropertyPage::OnKillActive() {
    return UpdateData(TRUE);
}

BOOL CPropertyPage::OnQueryCancel() {
    return TRUE;
}

void CPropertyPage::DoDataExchange(CDataExchange* /*pDX*/) {}

BOOL CPropertyPage::OnCommand(int /*nID*/) {
    return FALSE;
}
