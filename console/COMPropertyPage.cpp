#include "console/COMPropertyPage.h"

#include "console/RtuToolApp.h"
#include "console/windowing/Ddx.h"
#include "console/windowing/MessageBox.h"
#include "resources/resource.h"

namespace {
constexpr int kMinAddr = 1;
constexpr int kMaxAddr = 254;
constexpr DWORD kMinWait = 100;
constexpr DWORD kMaxWait = 50000;
}  // namespace

CCOMPropertyPage::CCOMPropertyPage() : CPropertyPage(IDD_COM) {}

CCOMPropertyPage::~CCOMPropertyPage() = default;

void CCOMPropertyPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Radio(pDX, IDC_COM1, m_nPort);
    DDX_Radio(pDX, IDC_BAUD600, m_nBaud);
    DDX_Text(pDX, IDC_ADDR, m_nAddr);
    DDV_MinMaxInt(pDX, m_nAddr, kMinAddr, kMaxAddr);
    DDX_Text(pDX, IDC_WAITTIME, m_nWaitTime);
    DDV_MinMaxDWord(pDX, m_nWaitTime, kMinWait, kMaxWait);
}

BOOL CCOMPropertyPage::OnCommand(int nID) {
    if (nID == IDC_SET) {
        OnSet();
        return TRUE;
    }
    return CPropertyPage::OnCommand(nID);
}

// What COM1 and COM2 stand for changes when an adapter is plugged in or
// out, so the buttons are told again each time the page comes up.
void CCOMPropertyPage::ShowPortDevices() {
    const int ports[] = {IDC_COM1, IDC_COM2};
    for (int port = 0; port < 2; ++port) {
        // The device's name as the system gives it, UTF-8 on both systems.
        if (CWnd* button = GetDlgItem(ports[port])) {
            button->SetToolTipText(theComm.PortName(port));
        }
    }
}

void CCOMPropertyPage::OnSet() {
    if (!UpdateData(TRUE)) {
        AfxMessageBox("串口初始化失败!", MB_ICONSTOP);
        return;
    }
    // Copied before the open is tried: after a failed open theComm still
    // holds the new settings, and this page shows them when it comes back.
    theComm.m_nBaud = m_nBaud;
    theComm.m_nPort = m_nPort;
    theComm.m_nSlaveAddr = m_nAddr;
    theComm.m_nWaitTime = m_nWaitTime;
    if (theComm.InitPort() == 0) {
        AfxMessageBox("串口初始化失败!", MB_ICONSTOP);
    } else {
        AfxMessageBox("串口初始化成功!", MB_ICONINFORMATION);
    }
}

BOOL CCOMPropertyPage::OnSetActive() {
    m_nBaud = theComm.m_nBaud;
    m_nPort = theComm.m_nOpenPort;
    m_nAddr = theComm.m_nSlaveAddr;
    m_nWaitTime = theComm.m_nWaitTime;
    ShowPortDevices();
    return CPropertyPage::OnSetActive();
}
