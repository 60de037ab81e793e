// The context of one data exchange of a page: its direction and the control
// that the last exchange entry worked on, so that a failed check can hand that
// control the focus. The first failure ends the exchange: every later DDX_ and
// DDV_ entry of the same run does nothing.
#pragma once

#include "console/windowing/WinTypes.h"

class CPropertyPage;
class CWnd;

class CDataExchange {
public:
    CDataExchange(CPropertyPage* pDlgWnd, BOOL bSaveAndValidate);
    CDataExchange(const CDataExchange&) = delete;
    CDataExchange& operator=(const CDataExchange&) = delete;

    // The control with that ID, remembered as the one the next check refers
    // to; null (and a warning) when the page has no such control.
    CWnd* PrepareCtrl(int nIDC);
    // The same for an edit box: a failure selects its whole text.
    CWnd* PrepareEditCtrl(int nIDC);
    // Ends the exchange as failed: the last prepared control gets the focus,
    // an edit box with all its text selected. The message was shown before.
    void Fail();
    bool Failed() const { return m_bFailed; }

    BOOL m_bSaveAndValidate;  // TRUE: controls to fields with checks
    CPropertyPage* m_pDlgWnd;

private:
    CWnd* m_pLastControl = nullptr;
    bool m_bEditLastControl = false;
    bool m_bFailed = false;
};
