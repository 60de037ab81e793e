// The main sheet and the application: what the program shows at start, the
// single exit button, closing without checks, and the life of the port
// across the sheet and the program's end.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>

#include "console/MyPropertySheet.h"
#include "console/RtuToolApp.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "tests/support/TestPty.h"

namespace {

const QString kTitle = QString::fromUtf16(u"K40-MODBUS规约调试软件");
const QString kExit = QString::fromUtf16(u"退 出");

// The buttons of the row that the user can see (the pages' own excluded).
QList<QPushButton*> VisibleRowButtons(CPropertySheet& sheet) {
    QList<QPushButton*> row;
    for (QPushButton* b : sheet.findChildren<QPushButton*>()) {
        if (!sheet.GetTabControl()->isAncestorOf(b) && b->isVisibleTo(&sheet)) {
            row << b;
        }
    }
    return row;
}

class MyPropertySheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.IsValid());
        setenv("K40_COM1", m_pty.Path().c_str(), 1);
        ResetTheComm();
    }
    void TearDown() override {
        theComm.ClosePort();
        unsetenv("K40_COM1");
    }

    // The slave side is the program's alone: SlaveIsOpen() tells whether it
    // holds the port.
    CTestPty m_pty{CTestPty::LeaveSlave};
    CMessageBoxRecorder m_boxes;
};

TEST_F(MyPropertySheetTest, StartsWithTheSettingsPageAndOneExitButton) {
    CMyPropertySheet sheet;
    sheet.Create();
    EXPECT_EQ(sheet.windowTitle(), kTitle);
    ASSERT_GE(sheet.GetTabControl()->count(), 1);
    EXPECT_EQ(sheet.GetTabControl()->tabText(0), QString::fromUtf16(u"串口设置"));
    EXPECT_EQ(sheet.GetActiveIndex(), 0);

    for (int id : {IDOK, ID_APPLY_NOW, IDHELP}) {
        EXPECT_EQ(sheet.GetDlgItem(id), nullptr) << id;
    }
    QWidget* exit = sheet.GetDlgItem(IDCANCEL);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(TextOf(exit), kExit);
    const QList<QPushButton*> row = VisibleRowButtons(sheet);
    ASSERT_EQ(row.size(), 1);
    EXPECT_EQ(row[0], exit);
    EXPECT_GT(exit->geometry().center().x(), sheet.width() / 2);  // at the right end

    CPropertyPage* page = sheet.GetActivePage();
    EXPECT_TRUE(IsChecked(page->GetDlgItem(IDC_COM1)));
    EXPECT_TRUE(IsChecked(page->GetDlgItem(IDC_BAUD9600)));
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_ADDR)), "1");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_WAITTIME)), "1500");
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(MyPropertySheetTest, ShowingTheSheetAgainKeepsTheExitButton) {
    CMyPropertySheet sheet;
    sheet.Create();
    sheet.hide();
    sheet.show();
    QWidget* exit = sheet.GetDlgItem(IDCANCEL);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(TextOf(exit), kExit);
    EXPECT_EQ(VisibleRowButtons(sheet).size(), 1);
}

TEST_F(MyPropertySheetTest, ExitClosesEvenWithAnInvalidEntry) {
    CMyPropertySheet sheet;
    sheet.Create();
    TypeInto(sheet.GetActivePage()->GetDlgItem(IDC_ADDR), "abc");
    ClickButton(sheet.GetDlgItem(IDCANCEL));
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), IDCANCEL);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(MyPropertySheetTest, TheCloseBoxClosesLikeExit) {
    CMyPropertySheet sheet;
    sheet.Create();
    EXPECT_TRUE(sheet.close());
    EXPECT_EQ(sheet.result(), IDCANCEL);
}

TEST_F(MyPropertySheetTest, ThePortStaysOpenAfterTheSheetCloses) {
    {
        CMyPropertySheet sheet;
        sheet.Create();
        ClickButton(sheet.GetActivePage()->GetDlgItem(IDC_SET));
        ClickButton(sheet.GetDlgItem(IDCANCEL));
    }
    EXPECT_EQ(m_boxes.Texts(), QStringList{QString::fromUtf16(u"串口初始化成功!")});
    EXPECT_TRUE(theComm.IsOpen());
    EXPECT_TRUE(m_pty.SlaveIsOpen());
}

TEST_F(MyPropertySheetTest, DestroyingTheSerialObjectClosesThePort) {
    {
        CModbusComm comm;
        ASSERT_NE(comm.InitPort(), 0);
        EXPECT_TRUE(m_pty.SlaveIsOpen());
    }
    EXPECT_FALSE(m_pty.SlaveIsOpen());
}

TEST_F(MyPropertySheetTest, InitInstanceRunsTheSheetModallyAndReturnsFalse) {
    EXPECT_EQ(AfxGetApp(), &theApp);
    EXPECT_EQ(theApp.m_pszAppName, kTitle);
    QString caption;
    int buttons = -1;
    QTimer::singleShot(0, [&] {
        auto* sheet = dynamic_cast<CMyPropertySheet*>(theApp.m_pMainWnd);
        ASSERT_NE(sheet, nullptr);
        EXPECT_TRUE(sheet->isModal());
        caption = sheet->windowTitle();
        buttons = static_cast<int>(VisibleRowButtons(*sheet).size());
        ClickButton(sheet->GetDlgItem(IDCANCEL));
    });
    EXPECT_EQ(theApp.InitInstance(), FALSE);
    EXPECT_EQ(caption, kTitle);
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    EXPECT_FALSE(theComm.IsOpen());  // exit at once: the port was never opened
    EXPECT_FALSE(m_pty.SlaveIsOpen());
}

}  // namespace
