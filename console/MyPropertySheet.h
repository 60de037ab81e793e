// The main window: the modal sheet "K40-MODBUS规约调试软件" with the pages of
// the console, and a button row reduced to a single exit button.
#pragma once

#include "console/AboutPropertyPage.h"
#include "console/COMPropertyPage.h"
#include "console/CtrlPropertyPage.h"
#include "console/ReadPropertyPage.h"
#include "console/windowing/PropertySheet.h"

class CMyPropertySheet : public CPropertySheet {
public:
    explicit CMyPropertySheet(CWnd* pParentWnd = nullptr);
    ~CMyPropertySheet() override;

protected:
    // Replaces OK, Cancel, Apply and Help by one button "退 出" in Help's
    // place that sends the cancel command.
    void OnShowWindow(BOOL bShow, UINT nStatus) override;

private:
    // The pages, in tab order; built in this order, destroyed in reverse.
    CCOMPropertyPage m_COMPage;
    CReadPropertyPage m_ReadPage;
    CCtrlPropertyPage m_CtrlPage;
    CAboutPropertyPage m_AboutPage;
};
