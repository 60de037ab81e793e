#include "console/windowing/Edit.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include "console/windowing/qt/QtWindows.h"

BOOL CEdit::Attach(CWnd* pWnd) {
    QWidget* w = WidgetOf(pWnd);
    const bool edit =
        qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<QPlainTextEdit*>(w) != nullptr;
    m_pWnd = edit ? pWnd : nullptr;
    return edit ? TRUE : FALSE;
}

// The box's CWnd converts and paints (Wnd.cpp).
void CEdit::SetWindowText(const char* lpszGbkText) {
    if (m_pWnd != nullptr) {
        m_pWnd->SetWindowText(lpszGbkText);
    }
}

std::string CEdit::GetWindowText() const {
    return m_pWnd != nullptr ? m_pWnd->GetWindowText() : std::string();
}
