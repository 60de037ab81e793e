// Wrapper of an edit box of a page (one-line or multi-line), bound to it with
// DDX_Control. Setting the text replaces all of it and paints it at once: the
// exchanges block the event loop, and the engineer must still see the request
// and the reply as they grow.
#pragma once

#include <string>

#include "console/windowing/WinTypes.h"

class CWnd;

class CEdit {
public:
    CEdit() = default;
    CEdit(const CEdit&) = delete;
    CEdit& operator=(const CEdit&) = delete;

    // Binds an edit box; FALSE when the window is not one.
    BOOL Attach(CWnd* pWnd);
    // The bound box, or null.
    CWnd* GetSafeHwnd() const { return m_pWnd; }

    // GBK text. A multi-line box breaks lines at CR LF.
    void SetWindowText(const char* lpszGbkText);
    // The whole text as GBK bytes; line breaks of a multi-line box come back
    // as CR LF. Empty when no box is bound or the box is gone.
    std::string GetWindowText() const;

private:
    CWnd* m_pWnd = nullptr;
};
