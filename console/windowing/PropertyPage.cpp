#include "console/windowing/PropertyPage.h"

#include <QAbstractButton>
#include <QWidget>

#include "console/windowing/DlgItem.h"

CPropertyPage::CPropertyPage(UINT nIDTemplate)
    : m_nIDTemplate(nIDTemplate), m_pTemplate(FindDialogTemplate(static_cast<int>(nIDTemplate))) {}

CPropertyPage::~CPropertyPage() {
    delete m_pWnd;
}

QString CPropertyPage::GetCaption() const {
    return m_pTemplate != nullptr ? QString::fromUtf16(m_pTemplate->caption) : QString();
}

BOOL CPropertyPage::UpdateData(BOOL bSaveAndValidate) {
    if (m_pWnd == nullptr) {
        return FALSE;
    }
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return dx.Failed() ? FALSE : TRUE;
}

QWidget* CPropertyPage::GetDlgItem(int nID) const {
    for (const DlgItem& item : m_items) {
        if (item.wnd != nullptr && GetDlgCtrlID(item.wnd) == nID) {
            return item.wnd;
        }
    }
    return nullptr;
}

std::vector<QAbstractButton*> CPropertyPage::GetRadioGroup(int nIDFirst) const {
    std::vector<QAbstractButton*> buttons;
    bool inGroup = false;
    for (const DlgItem& item : m_items) {
        if (inGroup && (item.ctl->style & kGroup) != 0) {
            break;
        }
        if (!inGroup && item.wnd != nullptr && GetDlgCtrlID(item.wnd) == nIDFirst) {
            inGroup = true;
        }
        if (inGroup && item.wnd != nullptr && item.ctl->kind == CtlKind::AutoRadio) {
            buttons.push_back(static_cast<QAbstractButton*>(item.wnd.data()));
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

void CPropertyPage::CreatePageWindow(QWidget* pParent) {
    if (m_pWnd != nullptr || m_pTemplate == nullptr) {
        return;
    }
    m_pWnd = new QWidget(pParent);
    m_items = CDialogBuilder::Build(*m_pTemplate, m_pWnd);
    for (const DlgItem& item : m_items) {
        if (auto* button = qobject_cast<QAbstractButton*>(item.wnd)) {
            // The ID is read at the click: it may have been changed since.
            QObject::connect(button, &QAbstractButton::clicked, m_pWnd,
                             [this, button] { OnCommand(GetDlgCtrlID(button)); });
        }
    }
    m_pWnd->show();
    OnInitDialog();
}
