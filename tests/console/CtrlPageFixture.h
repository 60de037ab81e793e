// The control page alone in a sheet, theComm open on the test line whose
// other side the test plays as the unit.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "console/CtrlPropertyPage.h"
#include "console/RtuToolApp.h"
#include "console/windowing/PropertySheet.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "support/ScriptedUnit.h"
#include "support/TestLine.h"
#include "tests/support/TestFrames.h"

// The position of the tab "控制", or -1.
inline int ControlTab(CPropertySheet& sheet) {
    for (int i = 0; i < sheet.GetPageCount(); ++i) {
        if (sheet.GetPage(i)->GetCaption() == "控制") {
            return i;
        }
    }
    return -1;
}

class CtrlPageFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_line.PortName().empty());
        SetEnv("K40_COM1", m_line.PortName().c_str());
        ResetTheComm();
        // K40_ECHO=off: exactly the page's own frames go out, one request a
        // press, as the scripted unit expects them (auto reads once before the
        // first command: tests/console/CtrlPropertyPageSimTest.cpp).
        theComm.m_echoMode = EchoMode::Off;
        ASSERT_NE(theComm.InitPort(), 0);
        theComm.m_nWaitTime = 1000;  // an answer comes at once; only silence waits
        m_sheet.AddPage(&m_page);
        m_sheet.Create();
    }
    void TearDown() override {
        theComm.ClosePort();
        SetEnv("K40_COM1", nullptr);
    }
    CWnd* Item(int id) { return m_page.GetDlgItem(id); }
    void Entries(const char* voltage, const char* current, const char* module) {
        TypeInto(Item(IDC_VOLTAGE), voltage);
        TypeInto(Item(IDC_CURRENT), current);
        TypeInto(Item(IDC_MODULE), module);
    }
    // Presses the button with the unit answering as told; the request it took.
    Bytes Press(int id, CScriptedUnit::Mode mode = CScriptedUnit::Echo, const Bytes& answer = {}) {
        CScriptedUnit unit(m_line, mode, {answer});
        ClickButton(Item(id));
        return unit.Request();
    }
    // Bytes the unit sent after the last exchange had ended: they wait in the
    // driver's input queue for the next read.
    void QueueLateReply(const Bytes& bytes) {
        ASSERT_TRUE(m_line.Send(bytes));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (theComm.Device()->QueuedInput() < static_cast<long>(bytes.size()) &&
               std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(theComm.Device()->QueuedInput(), static_cast<long>(bytes.size()));
    }
    std::string SendText() { return Utf8(m_page.m_SendEdit.GetWindowText().c_str()); }
    std::string RecvText() { return Utf8(m_page.m_RecvEdit.GetWindowText().c_str()); }

    CTestLine m_line;
    CMessageBoxRecorder m_boxes;
    CPropertySheet m_sheet{IDS_SHEET_CAPTION};
    CCtrlPropertyPage m_page;
};

struct FrameCase {
    int button;
    Bytes frame;
};

// Slave 1, module 0, 234 V, 100 %.
inline const FrameCase kFrames[] = {
    {IDC_MANUAL, {0x01, 0x05, 0x00, 0xC8, 0xFF, 0x00, 0x0D, 0xC4}},
    {IDC_AUTO, {0x01, 0x05, 0x00, 0xC8, 0x00, 0x00, 0x4C, 0x34}},
    {IDC_FLOAT, {0x01, 0x05, 0x00, 0xC9, 0xFF, 0x00, 0x5C, 0x04}},
    {IDC_EQUALIZE, {0x01, 0x05, 0x00, 0xC9, 0x00, 0x00, 0x1D, 0xF4}},
    {IDC_SETVOLTAGE, {0x01, 0x06, 0x01, 0x36, 0xBB, 0xE7, 0x5A, 0x82}},
    {IDC_SETCURRENT, {0x01, 0x06, 0x01, 0x37, 0x99, 0x99, 0x93, 0xC2}},
    {IDC_MODULEON, {0x01, 0x06, 0x01, 0x38, 0x00, 0x00, 0x09, 0xFB}},
    {IDC_MODULEOFF, {0x01, 0x06, 0x01, 0x38, 0xFF, 0x00, 0x48, 0x0B}},
};
