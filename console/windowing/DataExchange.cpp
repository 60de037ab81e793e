#include "console/windowing/DataExchange.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtGlobal>

#include "console/windowing/PropertyPage.h"

CDataExchange::CDataExchange(CPropertyPage* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

QWidget* CDataExchange::PrepareCtrl(int nIDC) {
    QWidget* w = m_pDlgWnd != nullptr ? m_pDlgWnd->GetDlgItem(nIDC) : nullptr;
    if (w == nullptr) {
        qWarning("data exchange: the page has no control %d", nIDC);
    }
    m_pLastControl = w;
    m_bEditLastControl = false;
    return w;
}

QWidget* CDataExchange::PrepareEditCtrl(int nIDC) {
    QWidget* w = PrepareCtrl(nIDC);
    m_bEditLastControl = true;
    return w;
}

void CDataExchange::Fail() {
    m_bFailed = true;
    if (m_pLastControl == nullptr) {
        return;
    }
    m_pLastControl->setFocus(Qt::OtherFocusReason);
    if (!m_bEditLastControl) {
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(m_pLastControl)) {
        line->selectAll();
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(m_pLastControl)) {
        multi->selectAll();
    }
}
