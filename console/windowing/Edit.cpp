#include "console/windowing/Edit.h"

#include "console/windowing/Wnd.h"

// The box's CWnd converts and paints (each backend's Wnd.cpp); binding is the
// backend's (Attach).
void CEdit::SetWindowText(const char* lpszGbkText) {
    if (m_pWnd != nullptr) {
        m_pWnd->SetWindowText(lpszGbkText);
    }
}

std::string CEdit::GetWindowText() const {
    return m_pWnd != nullptr ? m_pWnd->GetWindowText() : std::string();
}
