// GBK text: this file is compiled with -fexec-charset=GBK.
#include "console/CtrlPropertyPage.h"

#include <cmath>

#include "console/ExceptionText.h"
#include "console/RtuToolApp.h"
#include "console/windowing/Ddx.h"
#include "console/windowing/MessageBox.h"
#include "link/HexEcho.h"
#include "resources/resource.h"

namespace {

constexpr std::uint8_t kWriteCoil = 0x05;
constexpr std::uint8_t kWriteRegister = 0x06;

// Coil values: FF00 sets the state the unit's status legends call 1.
constexpr std::uint16_t kCoilOn = 0xFF00;
constexpr std::uint16_t kCoilOff = 0x0000;
constexpr int kManualCoil = 200;  // 1 = manual operation, 0 = automatic
constexpr int kFloatCoil = 201;   // 1 = float charge, 0 = equalize charge

// Three registers per module, from 310 on: voltage code, current-limit code, on/off.
constexpr int kModuleBase = 310;
constexpr int kRegistersPerModule = 3;
constexpr int kVoltageOffset = 0;
constexpr int kCurrentOffset = 1;
constexpr int kOnOffOffset = 2;
constexpr std::uint16_t kModuleOn = 0x0000;
constexpr std::uint16_t kModuleOff = 0xFF00;

constexpr float kMaxVoltage = 300.0f;
constexpr float kMaxCurrent = 110.0f;
constexpr int kMaxModule = 20;  // 21 modules, 0..20

}  // namespace

std::uint16_t SetpointCode(float value) {
    // Multiply, add, multiply, in double and in this order: the unit's codes
    // for values like 234.1 depend on it.
    const double code = std::trunc((static_cast<double>(value) * 0.002 + 1.0) * 32768.0);
    if (!(code >= 0.0)) {  // negative, or not a number
        return 0;
    }
    if (code > 65535.0) {
        return 65535;
    }
    return static_cast<std::uint16_t>(code);
}

CCtrlPropertyPage::CCtrlPropertyPage() : CPropertyPage(IDD_CTRL) {}

CCtrlPropertyPage::~CCtrlPropertyPage() = default;

void CCtrlPropertyPage::DoDataExchange(CDataExchange* pDX) {
    CPropertyPage::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SENDEDIT, m_SendEdit);
    DDX_Control(pDX, IDC_RECVEDIT, m_RecvEdit);
    DDX_Text(pDX, IDC_VOLTAGE, m_fVoltage);
    DDV_MinMaxFloat(pDX, m_fVoltage, 0.0f, kMaxVoltage);
    DDX_Text(pDX, IDC_CURRENT, m_fCurrent);
    DDV_MinMaxFloat(pDX, m_fCurrent, 0.0f, kMaxCurrent);
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

void CCtrlPropertyPage::OnManual() {
    SystemCommand(kManualCoil, kCoilOn);
}

void CCtrlPropertyPage::OnAuto() {
    SystemCommand(kManualCoil, kCoilOff);
}

void CCtrlPropertyPage::OnFloat() {
    SystemCommand(kFloatCoil, kCoilOn);
}

void CCtrlPropertyPage::OnEqualize() {
    SystemCommand(kFloatCoil, kCoilOff);
}

// Only the voltage setpoint purges the driver's queues first; the other three
// module commands send at once and skip whatever earlier bytes are still
// queued by looking for the echo of their own request.
void CCtrlPropertyPage::OnSetVoltage() {
    if (TakeEntries()) {
        ModuleCommand(ExchangeVariant::PurgingModuleCommand, kVoltageOffset,
                      SetpointCode(m_fVoltage));
    }
}

void CCtrlPropertyPage::OnSetCurrent() {
    if (TakeEntries()) {
        ModuleCommand(ExchangeVariant::ModuleCommand, kCurrentOffset, SetpointCode(m_fCurrent));
    }
}

void CCtrlPropertyPage::OnModuleOn() {
    if (TakeEntries()) {
        ModuleCommand(ExchangeVariant::ModuleCommand, kOnOffOffset, kModuleOn);
    }
}

void CCtrlPropertyPage::OnModuleOff() {
    if (TakeEntries()) {
        ModuleCommand(ExchangeVariant::ModuleCommand, kOnOffOffset, kModuleOff);
    }
}

void CCtrlPropertyPage::SystemCommand(int coil, std::uint16_t value) {
    Report(RunExchange(theComm, ExchangeVariant::SystemCommand, kWriteCoil, coil, value, this));
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

void CCtrlPropertyPage::ModuleCommand(ExchangeVariant variant, int offset, std::uint16_t value) {
    const int address = kModuleBase + kRegistersPerModule * m_nModule + offset;
    Report(RunExchange(theComm, variant, kWriteRegister, address, value, this));
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
