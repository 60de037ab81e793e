// How the control page reports each kind of answer from the unit: silence, a
// closed port, an exception reply, and bytes left queued by an earlier
// command, which only the commands that do not purge get to see.
#include <gtest/gtest.h>

#include "CtrlPageFixture.h"
#include "link/HexEcho.h"

namespace {

class CtrlPropertyPageReplyTest : public CtrlPageFixture {};

TEST_F(CtrlPropertyPageReplyTest, SilenceIsFailureAndKeepsTheLastReceivedText) {
    Press(IDC_MANUAL);
    theComm.m_nWaitTime = 100;
    m_boxes.Clear();
    Press(IDC_AUTO, CScriptedUnit::Silent);
    ASSERT_EQ(m_boxes.Texts(), Strings{kNotOk});
    EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONSTOP);
    EXPECT_EQ(SendText(), Hex(kFrames[1].frame));
    EXPECT_EQ(RecvText(), Hex(kFrames[0].frame));
}

TEST_F(CtrlPropertyPageReplyTest, AClosedPortStillShowsTheRequestAndFails) {
    theComm.ClosePort();
    theComm.m_nWaitTime = 100;
    ClickButton(Item(IDC_EQUALIZE));
    EXPECT_EQ(SendText(), Hex(kFrames[3].frame));
    EXPECT_EQ(m_boxes.Texts(), Strings{kNotOk});
}

TEST_F(CtrlPropertyPageReplyTest, AnExceptionReplyIsReportedWithItsCode) {
    const struct {
        int button;
        Bytes reply;
        const char* message;
    } cases[] = {
        {IDC_MANUAL, WithCrc({0x01, 0x85, 0x06}), "操作不成功!\n异常码 06：从站设备忙"},
        {IDC_MODULEOFF, WithCrc({0x01, 0x86, 0x06}), "操作不成功!\n异常码 06：从站设备忙"},
        {IDC_SETVOLTAGE, WithCrc({0x01, 0x86, 0x03}), "操作不成功!\n异常码 03：非法数据值"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        m_boxes.Clear();
        Press(c.button, CScriptedUnit::Answer, c.reply);
        ASSERT_EQ(m_boxes.Texts(), Strings{c.message});
        EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONSTOP);
        EXPECT_EQ(RecvText(), Hex(c.reply));
    }
}

// "开机" times out; its echo then comes late and stays queued in the driver.
// "关机" does not purge: the stale echo is read first and shown, but only the
// echo of "关机" itself may end the command as a success.
TEST_F(CtrlPropertyPageReplyTest, ALateReplyOfAnEarlierCommandIsNotThisOnesSuccess) {
    const Bytes onEcho = kFrames[6].frame;
    const Bytes offEcho = kFrames[7].frame;
    const struct {
        CScriptedUnit::Mode mode;
        std::string message;
        std::string recv;
    } cases[] = {
        {CScriptedUnit::Echo, kOk, "01 06 01 38 00 00 09 FB 01 06 \r\n01 38 FF 00 48 0B "},
        {CScriptedUnit::Silent, kNotOk, "01 06 01 38 00 00 09 FB "},
    };
    for (const auto& c : cases) {
        theComm.m_nWaitTime = 100;
        ASSERT_EQ(Press(IDC_MODULEON, CScriptedUnit::Silent), onEcho);
        QueueLateReply(onEcho);

        m_boxes.Clear();
        theComm.m_nWaitTime = c.mode == CScriptedUnit::Silent ? 100 : 1000;
        EXPECT_EQ(Press(IDC_MODULEOFF, c.mode), offEcho);
        EXPECT_EQ(m_boxes.Texts(), Strings{c.message});
        EXPECT_EQ(RecvText(), c.recv);
        if (c.mode == CScriptedUnit::Echo) {
            EXPECT_EQ(Bytes(theComm.m_RecvBuf, theComm.m_RecvBuf + 8), offEcho);
        }
    }
}

// Which commands discard what is still queued before sending: the system
// commands and "调压设置" do, the other three module commands do not, and show
// the stale bytes ahead of their own echo.
TEST_F(CtrlPropertyPageReplyTest, OnlyThreeModuleCommandsKeepStaleBytes) {
    const Bytes stale = kFrames[1].frame;  // a late echo of "自 动"
    const std::pair<int, bool> cases[] = {
        {IDC_MANUAL, false},    {IDC_EQUALIZE, false}, {IDC_SETVOLTAGE, false},
        {IDC_SETCURRENT, true}, {IDC_MODULEON, true},  {IDC_MODULEOFF, true},
    };
    for (const auto& [button, keeps] : cases) {
        SCOPED_TRACE(button);
        QueueLateReply(stale);
        m_boxes.Clear();
        const Bytes request = Press(button);
        EXPECT_EQ(m_boxes.Texts(), Strings{kOk});
        Bytes received = keeps ? stale : Bytes{};
        received.insert(received.end(), request.begin(), request.end());
        EXPECT_EQ(RecvText(),
                  std::string(HexEchoRecvText(received.data(), static_cast<int>(received.size()))));
    }
}

}  // namespace
