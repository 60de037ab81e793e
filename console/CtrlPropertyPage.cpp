// GBK text: this file is compiled with -fexec-charset=GBK.
#include "console/CtrlPropertyPage.h"

#include "console/RtuToolApp.h"
#include "console/windowing/Ddx.h"
#include "console/windowing/MessageBox.h"
#include "console/windowing/WinApp.h"
#include "link/HexEcho.h"
#include "resources/resource.h"
#include "unit/ExceptionText.h"

CCtrlPropertyPage::CCtrlPropertyPage() : CPropertyPage(IDD_CTRL) {}

CCtrlPropertyPage::~CCtrlPropertyPage() = default;

void CCtrlPropertyPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SENDEDIT, m_SendEdit);
    DDX_Control(pDX, IDC_RECVEDIT, m_RecvEdit);
    DDX_Text(pDX, IDC_VOLTAGE, m_fVoltage);
    DDV_MinMaxFloat(pDX, m_fVoltage, 0.0f, kMaxModuleVoltage);
    DDX_Text(pDX, IDC_CURRENT, m_fCurrent);
    DDV_MinMaxFloat(pDX, m_fCurrent, 0.0f, kMaxModuleCurrent);
    DDX_Text(pDX, IDC_MODULE, m_nModule);
    DDV_MinMaxInt(pDX, m_nModule, 0, kMaxModule);
}

BOOL CCtrlPropertyPage::OnCommand(int nID) {
    switch (nID) {
        case IDC_MANUAL:
            OnManual();
            return TRUE;
        case IDC_AUTO:
            OnAuto();
            return TRUE;
        case IDC_FLOAT:
            OnFloat();
            return TRUE;
        case IDC_EQUALIZE:
            OnEqualize();
            return TRUE;
        case IDC_SETVOLTAGE:
            OnSetVoltage();
            return TRUE;
        case IDC_SETCURRENT:
            OnSetCurrent();
            return TRUE;
        case IDC_MODULEON:
            OnModuleOn();
            return TRUE;
        case IDC_MODULEOFF:
            OnModuleOff();
            return TRUE;
        default:
            return CPropertyPage::OnCommand(nID);
    }
}

void CCtrlPropertyPage::ShowSendFrame() {
    m_SendEdit.SetWindowText(HexEchoSendText(theComm.m_SendBuf, theComm.m_nSendLen).c_str());
}

void CCtrlPropertyPage::ShowRecvFrame() {
    m_RecvEdit.SetWindowText(HexEchoRecvText(theComm.m_RecvBuf, theComm.m_nRecvLen).c_str());
}

void CCtrlPropertyPage::WhileWaiting() {
    AfxKeepAlive();
}

void CCtrlPropertyPage::OnManual() {
    SystemCommand(SystemModeRequest(SystemMode::Manual));
}

void CCtrlPropertyPage::OnAuto() {
    SystemCommand(SystemModeRequest(SystemMode::Automatic));
}

void CCtrlPropertyPage::OnFloat() {
    SystemCommand(SystemModeRequest(SystemMode::FloatCharge));
}

void CCtrlPropertyPage::OnEqualize() {
    SystemCommand(SystemModeRequest(SystemMode::EqualizeCharge));
}

// Only the voltage setpoint purges the driver's queues first; the other three
// module commands send at once and skip whatever earlier bytes are still
// queued by looking for the echo of their own request.
void CCtrlPropertyPage::OnSetVoltage() {
    if (TakeEntries()) {
        ModuleCommand(ExchangeVariant::PurgingModuleCommand,
                      ModuleRequest(m_nModule, ModuleSetting::Voltage, m_fVoltage));
    }
}

void CCtrlPropertyPage::OnSetCurrent() {
    if (TakeEntries()) {
        ModuleCommand(ExchangeVariant::ModuleCommand,
                      ModuleRequest(m_nModule, ModuleSetting::CurrentLimit, m_fCurrent));
    }
}

void CCtrlPropertyPage::OnModuleOn() {
    if (TakeEntries()) {
        ModuleCommand(ExchangeVariant::ModuleCommand, ModuleRequest(m_nModule, ModuleSetting::On));
    }
}

void CCtrlPropertyPage::OnModuleOff() {
    if (TakeEntries()) {
        ModuleCommand(ExchangeVariant::ModuleCommand, ModuleRequest(m_nModule, ModuleSetting::Off));
    }
}

void CCtrlPropertyPage::SystemCommand(const WriteRequest& request) {
    Report(RunExchange(theComm, ExchangeVariant::SystemCommand, request.function, request.address,
                       request.value, this));
}

// All three boxes are checked, also those the command does not use: a module
// command never goes out while any box holds something refused.
bool CCtrlPropertyPage::TakeEntries() {
    if (UpdateData(TRUE)) {
        return true;
    }
    AfxMessageBox("串口初始化失败!", MB_ICONSTOP);
    return false;
}

void CCtrlPropertyPage::ModuleCommand(ExchangeVariant variant, const WriteRequest& request) {
    Report(RunExchange(theComm, variant, request.function, request.address, request.value, this));
}

void CCtrlPropertyPage::Report(const ExchangeResult& result) {
    switch (result.outcome) {
        case ExchangeOutcome::Reply:
            AfxMessageBox("操作成功!", MB_ICONINFORMATION);
            break;
        case ExchangeOutcome::Exception:
            // The unit answered, but refused: that is no success.
            AfxMessageBox(ExceptionMessage("操作不成功!", result.exceptionCode).c_str(),
                          MB_ICONSTOP);
            break;
        case ExchangeOutcome::Timeout:
            AfxMessageBox("操作不成功!", MB_ICONSTOP);
            break;
    }
}
