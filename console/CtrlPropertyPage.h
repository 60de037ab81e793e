// The third tab, "控制": the unit's write commands, one request and one reply
// per button press.
//
// System remote control (function 05, write single coil):
//   coil 200: "手 动" FF00 (manual operation), "自 动" 0000 (automatic);
//   coil 201: "浮 充" FF00 (float charge), "均 充" 0000 (equalize charge).
// These read none of the entry boxes: they go out whatever the boxes hold.
//
// Rectifier module m = 0..20 (function 06, write single register), three
// consecutive registers per module:
//   310 + 3m "调压设置" output-voltage setpoint code,
//   311 + 3m "限流设置" current-limit setpoint code,
//   312 + 3m "开机" 0000 / "关机" FF00.
// These first take all three boxes (voltage, current limit, module number)
// with their range checks; a refused box stops the command before anything is
// sent.
//
// The unit answers a write with the echo of the request; only that echo counts
// as success. An exception reply is reported with its code, and a late reply
// of an earlier command still queued in the driver is never taken for this
// command's answer.
#pragma once

#include <cstdint>

#include "console/windowing/Edit.h"
#include "console/windowing/PropertyPage.h"
#include "link/Exchange.h"
#include "unit/ControlCommands.h"

class CCtrlPropertyPage : public CPropertyPage, public IFrameEcho {
public:
    CCtrlPropertyPage();
    ~CCtrlPropertyPage() override;

    // Hex echo of theComm's send buffer into the send box and of its receive
    // buffer into the receive box.
    void ShowSendFrame() override;
    void ShowRecvFrame() override;
    // The window keeps answering while the exchange waits (AfxKeepAlive).
    void WhileWaiting() override;

    CEdit m_SendEdit;           // 1012: the last request
    CEdit m_RecvEdit;           // 1011: the bytes of the last exchange that got any
    float m_fVoltage = 234.0f;  // 1038: output-voltage setpoint, V, 0..300
    float m_fCurrent = 100.0f;  // 1039: current-limit setpoint, %, 0..110
    int m_nModule = 0;          // 1037: module addressed, 0..20

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnCommand(int nID) override;

    void OnManual();
    void OnAuto();
    void OnFloat();
    void OnEqualize();
    void OnSetVoltage();
    void OnSetCurrent();
    void OnModuleOn();
    void OnModuleOff();

private:
    // One coil write: purges, sends, reports.
    void SystemCommand(const WriteRequest& request);
    // Checks the boxes; FALSE (after the messages) when one was refused.
    bool TakeEntries();
    // One register write of the current module.
    void ModuleCommand(ExchangeVariant variant, const WriteRequest& request);
    // The message box that ends every command.
    static void Report(const ExchangeResult& result);
};
