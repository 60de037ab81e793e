// The main sheet and the application: what the program shows at start, the
// single exit button, closing without checks, and the life of the port
// across the sheet and the program's end.
#include <gtest/gtest.h>

#include <cstdlib>

#include "console/MyPropertySheet.h"
#include "console/RtuToolApp.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "support/TestLine.h"
#ifndef _WIN32
#include <QDialog>
#include <QPushButton>
#include <QTabWidget>

#include "support/qt/QtTestSupport.h"
#endif

namespace {

const std::string kExit = "退 出";

#ifndef _WIN32
// The buttons of the row that the user can see (the pages' own excluded).
QList<QPushButton*> VisibleRowButtons(CPropertySheet& sheet) {
    QDialog* dialog = DialogOf(sheet);
    QList<QPushButton*> row;
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        if (!TabControlOf(sheet)->isAncestorOf(b) && b->isVisibleTo(dialog)) {
            row << b;
        }
    }
    return row;
}
#endif

class MyPropertySheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_line.IsValid());
        SetEnv("K40_COM1", m_line.PortName().c_str());
        ResetTheComm();
    }
    void TearDown() override {
        theComm.ClosePort();
        SetEnv("K40_COM1", nullptr);
    }

    // The slave side is the program's alone: ProgramHoldsLine() tells whether it
    // holds the port.
    CTestLine m_line{CTestLine::LeaveSlave};
    CMessageBoxRecorder m_boxes;
};

TEST_F(MyPropertySheetTest, StartsWithTheSettingsPageAndOneExitButton) {
    CMyPropertySheet sheet;
    sheet.Create();
    EXPECT_EQ(TextOf(&sheet), kTitle);
    ASSERT_GE(sheet.GetPageCount(), 1);
    EXPECT_EQ(TabText(sheet, 0), "串口设置");
    EXPECT_EQ(sheet.GetActiveIndex(), 0);

    for (int id : {IDOK, ID_APPLY_NOW, IDHELP}) {
        EXPECT_EQ(sheet.GetDlgItem(id), nullptr) << id;
    }
    CWnd* exit = sheet.GetDlgItem(IDCANCEL);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(TextOf(exit), kExit);
#ifndef _WIN32
    const QList<QPushButton*> row = VisibleRowButtons(sheet);
    ASSERT_EQ(row.size(), 1);
    EXPECT_EQ(row[0], WidgetOf(exit));
    EXPECT_GT(WidgetOf(exit)->geometry().center().x(),
              DialogOf(sheet)->width() / 2);  // at the right end
#endif

    CPropertyPage* page = sheet.GetActivePage();
    EXPECT_TRUE(IsChecked(page->GetDlgItem(IDC_COM1)));
    EXPECT_TRUE(IsChecked(page->GetDlgItem(IDC_BAUD9600)));
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_ADDR)), "1");
    EXPECT_EQ(TextOf(page->GetDlgItem(IDC_WAITTIME)), "1500");
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

#ifndef _WIN32
TEST_F(MyPropertySheetTest, ShowingTheSheetAgainKeepsTheExitButton) {
    CMyPropertySheet sheet;
    sheet.Create();
    DialogOf(sheet)->hide();
    DialogOf(sheet)->show();
    CWnd* exit = sheet.GetDlgItem(IDCANCEL);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(TextOf(exit), kExit);
    EXPECT_EQ(VisibleRowButtons(sheet).size(), 1);
}
#endif

TEST_F(MyPropertySheetTest, ExitClosesEvenWithAnInvalidEntry) {
    CMyPropertySheet sheet;
    sheet.Create();
    TypeInto(sheet.GetActivePage()->GetDlgItem(IDC_ADDR), "abc");
    ClickButton(sheet.GetDlgItem(IDCANCEL));
    ProcessEvents();  // Win32 destroys a closed modeless sheet from the event loop
    EXPECT_FALSE(IsShown(&sheet));
#ifndef _WIN32
    EXPECT_EQ(DialogOf(sheet)->result(), IDCANCEL);
#endif
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

#ifndef _WIN32
TEST_F(MyPropertySheetTest, TheCloseBoxClosesLikeExit) {
    CMyPropertySheet sheet;
    sheet.Create();
    EXPECT_TRUE(DialogOf(sheet)->close());
    EXPECT_EQ(DialogOf(sheet)->result(), IDCANCEL);
}
#endif

TEST_F(MyPropertySheetTest, ThePortStaysOpenAfterTheSheetCloses) {
    {
        CMyPropertySheet sheet;
        sheet.Create();
        ClickButton(sheet.GetActivePage()->GetDlgItem(IDC_SET));
        ClickButton(sheet.GetDlgItem(IDCANCEL));
    }
    EXPECT_EQ(m_boxes.Texts(), Strings{"串口初始化成功!"});
    EXPECT_TRUE(theComm.IsOpen());
    EXPECT_TRUE(m_line.ProgramHoldsLine());
}

TEST_F(MyPropertySheetTest, DestroyingTheSerialObjectClosesThePort) {
    {
        CModbusComm comm;
        ASSERT_NE(comm.InitPort(), 0);
        EXPECT_TRUE(m_line.ProgramHoldsLine());
    }
    EXPECT_FALSE(m_line.ProgramHoldsLine());
}

TEST_F(MyPropertySheetTest, InitInstanceRunsTheSheetModallyAndReturnsFalse) {
    EXPECT_EQ(AfxGetApp(), &theApp);
    EXPECT_EQ(theApp.m_pszAppName, kTitle);
    std::string caption;
    int buttons = -1;
    RunSoon([&] {
        auto* sheet = dynamic_cast<CMyPropertySheet*>(theApp.m_pMainWnd);
        ASSERT_NE(sheet, nullptr);
        caption = TextOf(sheet);
#ifndef _WIN32
        EXPECT_TRUE(DialogOf(*sheet)->isModal());
        buttons = static_cast<int>(VisibleRowButtons(*sheet).size());
#else
        buttons = sheet->GetDlgItem(IDCANCEL) != nullptr ? 1 : 0;
#endif
        ClickButton(sheet->GetDlgItem(IDCANCEL));
    });
    EXPECT_EQ(theApp.InitInstance(), FALSE);
    EXPECT_EQ(caption, kTitle);
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    EXPECT_FALSE(theComm.IsOpen());  // exit at once: the port was never opened
    EXPECT_FALSE(m_line.ProgramHoldsLine());
}

}  // namespace
