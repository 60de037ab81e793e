// The control page driven through its buttons against a unit played on the
// master side of a pseudo-terminal: the frames of the eight commands, the
// setpoint codes, the checks of the entry boxes, and the page's place in the
// main sheet.
#include <gtest/gtest.h>

#include "CtrlPageFixture.h"
#include "console/MyPropertySheet.h"
#ifndef _WIN32
#include "support/qt/QtTestSupport.h"
#endif

namespace {

class CtrlPropertyPageTest : public CtrlPageFixture {};

TEST_F(CtrlPropertyPageTest, EachCommandSendsItsFrameAndAnEchoIsSuccess) {
    for (const FrameCase& c : kFrames) {
        SCOPED_TRACE(c.button);
        m_boxes.Clear();
        EXPECT_EQ(Press(c.button), c.frame);
        EXPECT_EQ(SendText(), Hex(c.frame));
        EXPECT_EQ(RecvText(), Hex(c.frame));
        ASSERT_EQ(m_boxes.Texts(), Strings{kOk});
        EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONINFORMATION);
        EXPECT_EQ(m_boxes.Boxes()[0].caption, kTitle);
    }
}

TEST_F(CtrlPropertyPageTest, Module20UsesRegisters370To372) {
    const std::pair<int, std::uint16_t> registers[] = {
        {IDC_SETVOLTAGE, 370}, {IDC_SETCURRENT, 371}, {IDC_MODULEON, 372}, {IDC_MODULEOFF, 372}};
    TypeInto(Item(IDC_MODULE), "20");
    for (const auto& [button, reg] : registers) {
        const Bytes request = Press(button);
        ASSERT_EQ(request.size(), 8u);
        EXPECT_EQ(request[2] << 8 | request[3], reg) << button;
    }
    EXPECT_EQ(Press(IDC_MODULEON), (Bytes{0x01, 0x06, 0x01, 0x74, 0x00, 0x00, 0xC8, 0x2C}));
    EXPECT_EQ(m_boxes.Texts(), Strings(5, kOk));
}

TEST(SetpointCode, WidensTheFloatAndTruncates) {
    const std::pair<float, std::uint16_t> cases[] = {
        {0.0f, 32768},
        {100.0f, 39321},
        {110.0f, 39976},
        {234.0f, 48103},
        {234.1f, 48109},
        {250.0f, 49152},
        {300.0f, 52428},
        // Worked in single precision these would come out one higher.
        {56.9f, 36496},
        {238.8f, 48417},
    };
    for (const auto& [value, code] : cases) {
        EXPECT_EQ(SetpointCode(value), code) << value;
    }
}

struct ModuleEntryCase {
    const char* voltage;
    const char* current;
    const char* module;
    int button;
    Bytes frame;
};

TEST_F(CtrlPropertyPageTest, BoundsAndBlanksAroundANumberAreAccepted) {
    const ModuleEntryCase cases[] = {
        {"300", "100", "0", IDC_SETVOLTAGE, {0x01, 0x06, 0x01, 0x36, 0xCC, 0xCC, 0x3D, 0x6D}},
        {"0", "100", "0", IDC_SETVOLTAGE, {0x01, 0x06, 0x01, 0x36, 0x80, 0x00, 0x09, 0xF8}},
        {"234", "110", "0", IDC_SETCURRENT, {0x01, 0x06, 0x01, 0x37, 0x9C, 0x28, 0x50, 0xE6}},
        {"234", "0", "0", IDC_SETCURRENT, WithCrc({0x01, 0x06, 0x01, 0x37, 0x80, 0x00})},
        {" 250\t", "100", "0", IDC_SETVOLTAGE, WithCrc({0x01, 0x06, 0x01, 0x36, 0xC0, 0x00})},
        {"234", "\t 100 ", " 20\t", IDC_SETCURRENT, WithCrc({0x01, 0x06, 0x01, 0x73, 0x99, 0x99})},
        {"234.1", "100", "0", IDC_SETVOLTAGE, WithCrc({0x01, 0x06, 0x01, 0x36, 0xBB, 0xED})},
    };
    for (const ModuleEntryCase& c : cases) {
        SCOPED_TRACE(std::string(c.voltage) + " / " + c.current + " / " + c.module);
        m_boxes.Clear();
        Entries(c.voltage, c.current, c.module);
        EXPECT_EQ(Press(c.button), c.frame);
        EXPECT_EQ(m_boxes.Texts(), Strings{kOk});
    }
}

struct RefusedCase {
    const char* voltage;
    const char* current;
    const char* module;
    const char* check;
    int box;
};

TEST_F(CtrlPropertyPageTest, ARefusedBoxStopsEveryModuleCommandBeforeItIsSent) {
    const RefusedCase cases[] = {
        {"300.001", "100", "0", "“请填入一个在0和300之间的数字。”", IDC_VOLTAGE},
        {"-1", "100", "0", "“请填入一个在0和300之间的数字。”", IDC_VOLTAGE},
        {"234", "110.01", "0", "“请填入一个在0和110之间的数字。”", IDC_CURRENT},
        {"234", "100", "21", "“请填入一个在0和20之间的整数。”", IDC_MODULE},
        {"234", "100", "-1", "“请填入一个在0和20之间的整数。”", IDC_MODULE},
        {"", "100", "0", "请键入一个数。", IDC_VOLTAGE},
        {"234V", "100", "0", "请键入一个数。", IDC_VOLTAGE},
        {"234", "1e", "0", "请键入一个数。", IDC_CURRENT},
        {"234", "100", "3a", "请键入一个整数。", IDC_MODULE},
        // Checked in order: the voltage box is refused before the module box.
        {"x", "100", "99", "请键入一个数。", IDC_VOLTAGE},
    };
    // A command that went out, so that the echo boxes and buffers hold something.
    ASSERT_EQ(Press(IDC_MANUAL), kFrames[0].frame);
    const std::string sendBefore = SendText();
    const std::string recvBefore = RecvText();
    const int recvLen = theComm.m_nRecvLen;
    for (const RefusedCase& c : cases) {
        for (int button : {IDC_SETVOLTAGE, IDC_SETCURRENT, IDC_MODULEON, IDC_MODULEOFF}) {
            SCOPED_TRACE(std::string(c.voltage) + " / " + c.current + " / " + c.module + " / " +
                         std::to_string(button));
            Entries(c.voltage, c.current, c.module);
            m_boxes.Clear();
            ClickButton(Item(button));
            ASSERT_EQ(m_boxes.Texts(), (Strings{c.check, kRefused}));
            EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONEXCLAMATION);
            EXPECT_EQ(m_boxes.Boxes()[1].type, MB_ICONSTOP);
            EXPECT_TRUE(HasFocus(&m_sheet, Item(c.box)));
            EXPECT_EQ(SelectedText(Item(c.box)), TextOf(Item(c.box)));
            EXPECT_EQ(SendText(), sendBefore);
            EXPECT_EQ(RecvText(), recvBefore);
            EXPECT_EQ(theComm.m_nRecvLen, recvLen);  // nothing purged or reset
        }
    }
    // Had any refused command gone out, the unit would take it first.
    m_boxes.Clear();
    EXPECT_EQ(Press(IDC_AUTO), kFrames[1].frame);
    EXPECT_EQ(m_boxes.Texts(), Strings{kOk});
}

TEST_F(CtrlPropertyPageTest, SystemCommandsIgnoreTheEntryBoxes) {
    Entries("", "abc", "99");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Press(kFrames[i].button), kFrames[i].frame);
    }
    EXPECT_EQ(m_boxes.Texts(), Strings(4, kOk));
}

TEST(CtrlPropertyPageSheet, IsTheControlTabOfTheMainSheet) {
    ResetTheComm();
    CMessageBoxRecorder boxes;
    CMyPropertySheet sheet;
    sheet.Create();
    const int index = ControlTab(sheet);
    ASSERT_GT(index, 0);  // after the settings page
    ASSERT_TRUE(sheet.SetActivePage(index));
    CPropertyPage* page = sheet.GetActivePage();
    ASSERT_NE(dynamic_cast<CCtrlPropertyPage*>(page), nullptr);
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_VOLTAGE)), "234");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_CURRENT)), "100");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_MODULE)), "0");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_SENDEDIT)), "");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_RECVEDIT)), "");

    // Leaving with a refused box keeps the page current.
    TypeInto(page->GetDlgItem(IDC_CURRENT), "111");
    EXPECT_FALSE(sheet.SetActivePage(0));
    EXPECT_EQ(sheet.GetActiveIndex(), index);
    EXPECT_EQ(boxes.Texts(), Strings{"“请填入一个在0和110之间的数字。”"});
}

// The main sheet on the control tab after "手 动" was answered, for a look by eye.
TEST_F(CtrlPropertyPageTest, Screenshot) {
    CMyPropertySheet sheet;
    sheet.Create();
    const int index = ControlTab(sheet);
    ASSERT_TRUE(sheet.SetActivePage(index));
    CPropertyPage* page = sheet.GetActivePage();
    ASSERT_EQ(page->GetCaption(), "控制");
    CScriptedUnit unit(m_line, CScriptedUnit::Echo);
    ClickButton(page->GetDlgItem(IDC_MANUAL));
    EXPECT_EQ(unit.Request(), kFrames[0].frame);
#ifndef _WIN32
    SaveScreenshot(*DialogOf(sheet), "control_page.png");
#endif
}

}  // namespace
