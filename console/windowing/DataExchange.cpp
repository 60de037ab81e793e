#include "console/windowing/DataExchange.h"

#include <cstdio>

#include "console/windowing/PropertyPage.h"

CDataExchange::CDataExchange(CPropertyPage* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

CWnd* CDataExchange::PrepareCtrl(int nIDC) {
    CWnd* w = m_pDlgWnd != nullptr ? m_pDlgWnd->GetDlgItem(nIDC) : nullptr;
    if (w == nullptr) {
        std::fprintf(stderr, "data exchange: the page has no control %d\n", nIDC);
    }
    m_pLastControl = w;
    m_bEditLastControl = false;
    return w;
}

CWnd* CDataExchange::PrepareEditCtrl(int nIDC) {
    CWnd* w = PrepareCtrl(nIDC);
    m_bEditLastControl = true;
    return w;
}

void CDataExchange::Fail() {
    m_bFailed = true;
    if (m_pLastControl == nullptr) {
        return;
    }
    m_pLastControl->SetFocus();
    if (m_bEditLastControl) {
        m_pLastControl->SetSel(0, -1);
    }
}
