// The first tab, "串口设置": port (COM1/COM2), baud rate (600 to 38400), slave
// address (1 to 254) and reply wait (100 to 50000 ms). "设  置" copies them
// into theComm and reopens the port; every exchange on the other pages uses
// what was last applied here. Each time the page becomes current it shows
// what theComm holds, so edits never applied are dropped.
#pragma once

#include "console/windowing/PropertyPage.h"

class CCOMPropertyPage : public CPropertyPage {
public:
    CCOMPropertyPage();
    ~CCOMPropertyPage() override;

    // Reloads the fields from theComm and tells on the COM buttons which
    // Linux device each stands for now, then the default activation step.
    BOOL OnSetActive() override;

    int m_nPort = 0;           // 0 = COM1, 1 = COM2: position in the port group
    int m_nBaud = 4;           // position in the baud group: 4 = 9600
    int m_nAddr = 1;           // slave address
    DWORD m_nWaitTime = 1500;  // reply wait, ms

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnCommand(int nID) override;

    // "设  置": checks the entries, copies them into theComm, opens the port.
    void OnSet();
    // The COM buttons' tooltips: the device each resolves to, with its details.
    void ShowPortDevices();
};
