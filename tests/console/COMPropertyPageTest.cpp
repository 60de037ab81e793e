// The serial settings page driven through its real controls: the checks of
// the entries, "设  置" on a pseudo-terminal standing in for COM1 and on a
// missing COM2, and what the page shows when it becomes current again.
#include <gtest/gtest.h>

#include <cstdlib>

#include "console/COMPropertyPage.h"
#include "console/RtuToolApp.h"
#include "console/windowing/PropertySheet.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "support/TestLine.h"
#ifndef _WIN32
#include "support/qt/QtTestSupport.h"
#include "tests/support/FakePortTree.h"
#endif

namespace {

class COMPropertyPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_line.IsValid());
        SetEnv("K40_COM1", m_line.PortName().c_str());
        SetEnv("K40_COM2", "/nonexistent");
        ResetTheComm();
        m_sheet.AddPage(&m_page);
        m_sheet.AddPage(&m_other);
        m_sheet.Create();
    }
    void TearDown() override {
        theComm.ClosePort();
        SetEnv("K40_COM1", nullptr);
        SetEnv("K40_COM2", nullptr);
    }
    CWnd* Item(int id) { return m_page.GetDlgItem(id); }
    void Set(const char* addr, const char* wait) {
        TypeInto(Item(IDC_ADDR), addr);
        TypeInto(Item(IDC_WAITTIME), wait);
        ClickButton(Item(IDC_SET));
    }

    // The slave side is the program's alone: ProgramHoldsLine() tells whether it
    // holds the port.
    CTestLine m_line{CTestLine::LeaveSlave};
    CMessageBoxRecorder m_boxes;
    CPropertySheet m_sheet{IDS_SHEET_CAPTION};
    CCOMPropertyPage m_page;
    CPropertyPage m_other{IDD_ABOUT};
};

TEST_F(COMPropertyPageTest, AFreshPageShowsCom1At9600Address1And1500) {
    EXPECT_TRUE(IsChecked(Item(IDC_COM1)));
    EXPECT_FALSE(IsChecked(Item(IDC_COM2)));
    for (int id : {IDC_BAUD600, IDC_BAUD1200, IDC_BAUD2400, IDC_BAUD4800, IDC_BAUD9600,
                   IDC_BAUD19200, IDC_BAUD38400}) {
        EXPECT_EQ(IsChecked(Item(id)), id == IDC_BAUD9600) << id;
    }
    EXPECT_EQ(TextOf(Item(IDC_ADDR)), "1");
    EXPECT_EQ(TextOf(Item(IDC_WAITTIME)), "1500");
}

TEST_F(COMPropertyPageTest, TheBaudIndexIsTheButtonsPositionNotItsId) {
    const std::pair<int, int> buttons[] = {
        {IDC_BAUD600, 0},  {IDC_BAUD1200, 1},  {IDC_BAUD2400, 2},  {IDC_BAUD4800, 3},
        {IDC_BAUD9600, 4}, {IDC_BAUD19200, 5}, {IDC_BAUD38400, 6},
    };
    for (const auto& [id, index] : buttons) {
        ClickButton(Item(id));
        ASSERT_TRUE(m_page.UpdateData(TRUE));
        EXPECT_EQ(m_page.m_nBaud, index) << id;
        EXPECT_EQ(m_page.m_nPort, 0);
    }
    ClickButton(Item(IDC_COM2));
    ASSERT_TRUE(m_page.UpdateData(TRUE));
    EXPECT_EQ(m_page.m_nPort, 1);
    EXPECT_TRUE(IsChecked(Item(IDC_BAUD38400)));  // the groups do not clear each other
}

struct EntryCase {
    const char* addr;
    const char* wait;
    const char* check;  // validation message, or null when the entries pass
    int failingBox;
};

TEST_F(COMPropertyPageTest, SetChecksTheEntriesBeforeTouchingThePort) {
    const EntryCase cases[] = {
        {"0", "1500", "“请填入一个在1和254之间的整数。”", IDC_ADDR},
        {"255", "1500", "“请填入一个在1和254之间的整数。”", IDC_ADDR},
        {"-3", "1500", "“请填入一个在1和254之间的整数。”", IDC_ADDR},
        {"", "1500", "请键入一个整数。", IDC_ADDR},
        {"7x", "1500", "请键入一个整数。", IDC_ADDR},
        {"0x10", "1500", "请键入一个整数。", IDC_ADDR},
        {"9", "-1", "“请填入一个正整数。”", IDC_WAITTIME},
        {"9", "99", "“请填入一个在100和50000之间的整数。”", IDC_WAITTIME},
        {"9", "50001", "“请填入一个在100和50000之间的整数。”", IDC_WAITTIME},
        {"1", "100", nullptr, 0},
        {"254", "50000", nullptr, 0},
        {" 7 ", "1500", nullptr, 0},
        {"+7", " 200\t", nullptr, 0},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(std::string("address \"") + c.addr + "\" wait \"" + c.wait + "\"");
        ResetTheComm();
        m_boxes.Clear();
        Set(c.addr, c.wait);
        if (c.check == nullptr) {
            ASSERT_EQ(m_boxes.Texts(), Strings{kOpened});
            EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONINFORMATION);
            EXPECT_EQ(theComm.m_nSlaveAddr, m_page.m_nAddr);
            EXPECT_EQ(theComm.m_nWaitTime, m_page.m_nWaitTime);
            EXPECT_TRUE(theComm.IsOpen());
            continue;
        }
        ASSERT_EQ(m_boxes.Texts(), (Strings{c.check, kRefused}));
        EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONEXCLAMATION);
        EXPECT_EQ(m_boxes.Boxes()[1].type, MB_ICONSTOP);
        EXPECT_EQ(m_boxes.Boxes()[1].caption, kTitle);
        EXPECT_TRUE(HasFocus(&m_sheet, Item(c.failingBox)));
        EXPECT_EQ(theComm.m_nSlaveAddr, 1);
        EXPECT_EQ(theComm.m_nWaitTime, 1500u);
        EXPECT_FALSE(theComm.IsOpen());
    }
}

TEST_F(COMPropertyPageTest, AFailedEntryIsSelectedWhole) {
    Set(" 7x ", "1500");
    EXPECT_TRUE(HasFocus(&m_sheet, Item(IDC_ADDR)));
    EXPECT_EQ(SelectedText(Item(IDC_ADDR)), " 7x ");
}

TEST_F(COMPropertyPageTest, SetCopiesTheSettingsAndOpensThePort) {
    ClickButton(Item(IDC_BAUD19200));
    Set("17", "200");
    EXPECT_EQ(m_boxes.Texts(), Strings{kOpened});
    EXPECT_EQ(m_boxes.Boxes()[0].caption, kTitle);
    EXPECT_EQ(theComm.m_nPort, 0);
    EXPECT_EQ(theComm.m_nOpenPort, 0);
    EXPECT_EQ(theComm.m_nBaud, 5);
    EXPECT_EQ(theComm.m_nSlaveAddr, 17);
    EXPECT_EQ(theComm.m_nWaitTime, 200u);
    EXPECT_TRUE(theComm.IsOpen());
    EXPECT_TRUE(m_line.ProgramHoldsLine());
}

TEST_F(COMPropertyPageTest, SetTwiceReopensThePort) {
    Set("1", "1500");
    Set("1", "1500");
    EXPECT_EQ(m_boxes.Texts(), (Strings{kOpened, kOpened}));
    EXPECT_TRUE(m_line.ProgramHoldsLine());
}

TEST_F(COMPropertyPageTest, AMissingCom2FailsButItsSettingsAreKept) {
    Set("1", "1500");  // COM1 open first
    m_boxes.Clear();
    ClickButton(Item(IDC_COM2));
    Set("3", "400");
    EXPECT_EQ(m_boxes.Texts(), Strings{kRefused});
    EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONSTOP);
    EXPECT_EQ(theComm.m_nPort, 1);
    EXPECT_EQ(theComm.m_nOpenPort, 1);
    EXPECT_EQ(theComm.m_nSlaveAddr, 3);
    EXPECT_FALSE(theComm.IsOpen());
    EXPECT_FALSE(m_line.ProgramHoldsLine());  // COM1 was closed on the way

    ASSERT_TRUE(m_sheet.SetActivePage(1));
    ASSERT_TRUE(m_sheet.SetActivePage(0));
    EXPECT_TRUE(IsChecked(Item(IDC_COM2)));
    EXPECT_EQ(TextOf(Item(IDC_ADDR)), "3");
    EXPECT_EQ(TextOf(Item(IDC_WAITTIME)), "400");
}

TEST_F(COMPropertyPageTest, EditsNeverAppliedAreDroppedOnReturn) {
    ClickButton(Item(IDC_COM2));
    ClickButton(Item(IDC_BAUD19200));
    TypeInto(Item(IDC_ADDR), "9");
    TypeInto(Item(IDC_WAITTIME), "300");
    ASSERT_TRUE(m_sheet.SetActivePage(1));
    ASSERT_TRUE(m_sheet.SetActivePage(0));
    EXPECT_TRUE(IsChecked(Item(IDC_COM1)));
    EXPECT_FALSE(IsChecked(Item(IDC_COM2)));
    EXPECT_TRUE(IsChecked(Item(IDC_BAUD9600)));
    EXPECT_FALSE(IsChecked(Item(IDC_BAUD19200)));
    EXPECT_EQ(TextOf(Item(IDC_ADDR)), "1");
    EXPECT_EQ(TextOf(Item(IDC_WAITTIME)), "1500");
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(COMPropertyPageTest, InvalidInputKeepsThePageCurrent) {
    TypeInto(Item(IDC_WAITTIME), "99");
    EXPECT_FALSE(m_sheet.SetActivePage(1));
    EXPECT_EQ(m_boxes.Texts(), Strings{"“请填入一个在100和50000之间的整数。”"});
    EXPECT_EQ(m_sheet.GetActiveIndex(), 0);
    EXPECT_EQ(m_other.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(HasFocus(&m_sheet, Item(IDC_WAITTIME)));
    EXPECT_FALSE(theComm.IsOpen());

    TypeInto(Item(IDC_WAITTIME), "100");
    EXPECT_TRUE(m_sheet.SetActivePage(1));
}

#ifndef _WIN32
// The tooltips name the Linux devices behind COM1 and COM2.
std::string Tip(CWnd* pButton) {
    return WidgetOf(pButton)->toolTip().toStdString();
}

TEST_F(COMPropertyPageTest, TheComButtonsTellTheirLinuxDevice) {
    EXPECT_EQ(Tip(Item(IDC_COM1)), m_line.PortName());
    EXPECT_EQ(Tip(Item(IDC_COM2)), "/nonexistent");
}

// An adapter plugged in while the program runs shows on COM1 the next time
// the page comes up.
TEST_F(COMPropertyPageTest, TheTooltipsFollowThePortsPresent) {
    CFakePortTree tree;
    ASSERT_TRUE(tree.IsValid());
    PointPortsAt(tree.Dev(), tree.Sys());
    SetEnv("K40_COM1", nullptr);
    SetEnv("K40_COM2", nullptr);
    ASSERT_TRUE(m_sheet.SetActivePage(1));
    ASSERT_TRUE(m_sheet.SetActivePage(0));
    EXPECT_EQ(Tip(Item(IDC_COM1)), tree.Dev() + "/ttyS0");

    tree.AddNode("ttyUSB0");
    tree.AddUsbDetails("ttyUSB0",
                       {"0403", "6001", "FTDI", "FT232R USB UART", "A10K3XYZ", "ftdi_sio"});
    ASSERT_TRUE(m_sheet.SetActivePage(1));
    ASSERT_TRUE(m_sheet.SetActivePage(0));
    EXPECT_EQ(Tip(Item(IDC_COM1)), tree.Dev() + "/ttyUSB0: FTDI FT232R USB UART, serial A10K3XYZ");
    EXPECT_EQ(Tip(Item(IDC_COM2)), tree.Dev() + "/ttyS1");
    PointPortsNowhere();
}

#endif

}  // namespace
