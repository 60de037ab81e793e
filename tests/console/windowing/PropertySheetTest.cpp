// The sheet's contract with its pages and its button row: lazy page windows,
// activation steps, refused tab changes that never switch the tab, closing
// without checks, buttons found and changed by ID.
#include <gtest/gtest.h>

#include <QDialog>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>

#include "../support/ConsoleTestSupport.h"
#include "../support/MessageBoxRecorder.h"
#include "console/windowing/PropertyPage.h"
#include "console/windowing/PropertySheet.h"
#include "console/windowing/qt/DialogBuilder.h"
#include "console/windowing/qt/GbkText.h"
#include "console/windowing/qt/QtWindows.h"
#include "resources/DialogTemplate.h"
#include "resources/resource.h"

namespace {

class CCountingPage : public CPropertyPage {
public:
    explicit CCountingPage(UINT nIDTemplate) : CPropertyPage(nIDTemplate) {}
    BOOL OnInitDialog() override {
        ++m_nInits;
        return CPropertyPage::OnInitDialog();
    }
    BOOL OnSetActive() override {
        ++m_nSetActives;
        return CPropertyPage::OnSetActive();
    }
    BOOL OnKillActive() override {
        ++m_nKillActives;
        return m_bRefuseToLeave ? FALSE : CPropertyPage::OnKillActive();
    }
    BOOL OnQueryCancel() override { return m_bRefuseCancel ? FALSE : TRUE; }

    int m_nInits = 0;
    int m_nSetActives = 0;
    int m_nKillActives = 0;
    bool m_bRefuseToLeave = false;
    bool m_bRefuseCancel = false;
};

class CCountingSheet : public CPropertySheet {
public:
    CCountingSheet() : CPropertySheet(IDS_SHEET_CAPTION) {}
    int m_nShows = 0;

protected:
    void OnShowWindow(BOOL bShow, UINT nStatus) override {
        CPropertySheet::OnShowWindow(bShow, nStatus);
        ++m_nShows;
    }
};

class PropertySheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sheet.AddPage(&m_com);
        m_sheet.AddPage(&m_read);
        m_sheet.AddPage(&m_ctrl);
        m_sheet.Create();
    }
    void ClickTab(int index) {
        QTabBar* bar = TabControlOf(m_sheet)->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    QDialog* Dlg() { return DialogOf(m_sheet); }

    CMessageBoxRecorder m_boxes;
    CCountingSheet m_sheet;
    CCountingPage m_com{IDD_COM};
    CCountingPage m_read{IDD_READ};
    CCountingPage m_ctrl{IDD_CTRL};
};

TEST_F(PropertySheetTest, CaptionAndTabsFollowTheOrderOfAddition) {
    EXPECT_EQ(Dlg()->windowTitle(), QString::fromUtf16(u"K40-MODBUS规约调试软件"));
    QTabWidget* tabs = TabControlOf(m_sheet);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QString::fromUtf16(u"串口设置"));
    EXPECT_EQ(tabs->tabText(1), QString::fromUtf16(u"读数据"));
    EXPECT_EQ(tabs->tabText(2), QString::fromUtf16(u"控制"));
}

TEST_F(PropertySheetTest, APageWindowIsBuiltAtTheFirstSelectionOfItsTab) {
    EXPECT_NE(m_com.GetSafeHwnd(), nullptr);
    EXPECT_EQ(m_read.GetSafeHwnd(), nullptr);
    EXPECT_EQ(m_com.m_nInits, 1);
    EXPECT_EQ(m_com.m_nSetActives, 1);

    EXPECT_TRUE(m_sheet.SetActivePage(1));
    EXPECT_EQ(m_com.m_nKillActives, 1);
    EXPECT_NE(m_read.GetSafeHwnd(), nullptr);
    EXPECT_EQ(m_read.m_nInits, 1);
    EXPECT_EQ(m_read.m_nSetActives, 1);

    EXPECT_TRUE(m_sheet.SetActivePage(0));
    EXPECT_EQ(m_com.m_nInits, 1);
    EXPECT_EQ(m_com.m_nSetActives, 2);
    EXPECT_EQ(m_ctrl.GetSafeHwnd(), nullptr);
}

TEST_F(PropertySheetTest, ARefusedTabClickLeavesTheTabAsItWas) {
    m_com.m_bRefuseToLeave = true;
    ClickTab(2);
    EXPECT_EQ(m_com.m_nKillActives, 1);
    EXPECT_EQ(TabControlOf(m_sheet)->currentIndex(), 0);
    EXPECT_EQ(m_sheet.GetActiveIndex(), 0);
    EXPECT_EQ(m_ctrl.GetSafeHwnd(), nullptr);

    m_com.m_bRefuseToLeave = false;
    ClickTab(2);
    EXPECT_EQ(TabControlOf(m_sheet)->currentIndex(), 2);
    EXPECT_EQ(m_sheet.GetActiveIndex(), 2);
    EXPECT_EQ(m_ctrl.m_nSetActives, 1);
}

TEST_F(PropertySheetTest, KeysOnTheTabsGoThroughTheSameCheck) {
    QTabBar* bar = TabControlOf(m_sheet)->tabBar();
    m_com.m_bRefuseToLeave = true;
    QTest::keyClick(bar, Qt::Key_Right);
    QTest::keyClick(TabControlOf(m_sheet), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(TabControlOf(m_sheet)->currentIndex(), 0);
    EXPECT_EQ(m_com.m_nKillActives, 2);

    m_com.m_bRefuseToLeave = false;
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(m_sheet.GetActiveIndex(), 1);
    QTest::keyClick(TabControlOf(m_sheet), Qt::Key_Backtab, Qt::ControlModifier);
    EXPECT_EQ(m_sheet.GetActiveIndex(), 0);
}

TEST_F(PropertySheetTest, TheSheetIsSizedToItsLargestPage) {
    int width = 0;
    int height = 0;
    for (int id : {IDD_COM, IDD_READ, IDD_CTRL}) {
        const QSize size = CDialogBuilder::PageSize(*FindDialogTemplate(id));
        width = std::max(width, size.width());
        height = std::max(height, size.height());
    }
    for (int page = 0; page < 3; ++page) {
        m_sheet.SetActivePage(page);
        const QWidget* area = TabControlOf(m_sheet)->currentWidget();
        EXPECT_GE(area->width(), width);
        EXPECT_GE(area->height(), height);
    }
}

TEST_F(PropertySheetTest, TheButtonRowIsFoundChangedAndDestroyedById) {
    for (int id : {IDOK, IDCANCEL, ID_APPLY_NOW, IDHELP}) {
        EXPECT_NE(m_sheet.GetDlgItem(id), nullptr) << id;
    }
    CWnd* ok = m_sheet.GetDlgItem(IDOK);
    QWidget* okButton = WidgetOf(ok);
    ok->DestroyWindow();
    EXPECT_EQ(m_sheet.GetDlgItem(IDOK), nullptr);
    EXPECT_FALSE(okButton->isVisible());

    CWnd* help = m_sheet.GetDlgItem(IDHELP);
    help->SetDlgCtrlID(1234);
    EXPECT_EQ(m_sheet.GetDlgItem(1234), help);
    EXPECT_EQ(m_sheet.GetDlgItem(IDHELP), nullptr);
    m_sheet.SetDlgItemText(1234, ToGbk(QString::fromUtf16(u"退 出")).constData());
    EXPECT_EQ(TextOf(help), "退 出");
}

TEST_F(PropertySheetTest, AButtonSendsTheIdItHasWhenClicked) {
    CWnd* help = m_sheet.GetDlgItem(IDHELP);
    m_sheet.GetDlgItem(IDCANCEL)->DestroyWindow();
    help->SetDlgCtrlID(IDCANCEL);
    ClickButton(help);
    EXPECT_FALSE(Dlg()->isVisible());
    EXPECT_EQ(Dlg()->result(), IDCANCEL);
}

TEST_F(PropertySheetTest, EscAndTheCloseBoxCloseWithoutCheckingThePage) {
    m_com.m_bRefuseToLeave = true;
    QTest::keyClick(Dlg(), Qt::Key_Escape);
    EXPECT_FALSE(Dlg()->isVisible());
    EXPECT_EQ(Dlg()->result(), IDCANCEL);
    EXPECT_EQ(m_com.m_nKillActives, 0);

    Dlg()->show();
    EXPECT_TRUE(Dlg()->close());
    EXPECT_FALSE(Dlg()->isVisible());
    EXPECT_EQ(m_com.m_nKillActives, 0);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(PropertySheetTest, APageCanRefuseTheCancel) {
    m_com.m_bRefuseCancel = true;
    ClickButton(m_sheet.GetDlgItem(IDCANCEL));
    EXPECT_FALSE(Dlg()->close());
    EXPECT_TRUE(Dlg()->isVisible());
}

TEST_F(PropertySheetTest, OkClosesOnlyWhenTheCurrentPageLetsGo) {
    m_com.m_bRefuseToLeave = true;
    ClickButton(m_sheet.GetDlgItem(IDOK));
    EXPECT_TRUE(Dlg()->isVisible());
    m_com.m_bRefuseToLeave = false;
    ClickButton(m_sheet.GetDlgItem(IDOK));
    EXPECT_FALSE(Dlg()->isVisible());
    EXPECT_EQ(Dlg()->result(), IDOK);
}

TEST_F(PropertySheetTest, ShowingTheSheetNotifiesIt) {
    EXPECT_EQ(m_sheet.m_nShows, 1);
    Dlg()->hide();
    Dlg()->show();
    EXPECT_EQ(m_sheet.m_nShows, 2);
}

// Checked in every build, not by an assertion release builds drop: a page
// whose layout ID names no layout is left out before and after Create.
TEST(PropertySheetPages, APageWithoutALayoutIsNotAdded) {
    CPropertySheet sheet(IDS_SHEET_CAPTION);
    CPropertyPage missing(4242);
    CPropertyPage about(IDD_ABOUT);
    CPropertyPage missingLater(4343);
    ASSERT_EQ(missing.GetCaption(), "");
    sheet.AddPage(&missing);
    sheet.AddPage(nullptr);
    sheet.AddPage(&about);
    EXPECT_EQ(sheet.GetPageCount(), 1);
    sheet.Create();
    sheet.AddPage(&missingLater);
    EXPECT_EQ(sheet.GetPageCount(), 1);
    EXPECT_EQ(TabControlOf(sheet)->count(), 1);
    EXPECT_EQ(sheet.GetActivePage(), &about);
    EXPECT_NE(about.GetSafeHwnd(), nullptr);
}

TEST(PropertySheetModal, DoModalRunsUntilTheCancelCommand) {
    CPropertySheet sheet(IDS_SHEET_CAPTION);
    CPropertyPage page(IDD_ABOUT);
    sheet.AddPage(&page);
    bool wasModal = false;
    QTimer::singleShot(0, DialogOf(sheet), [&] {
        wasModal = DialogOf(sheet)->isModal() && DialogOf(sheet)->isVisible();
        ClickButton(sheet.GetDlgItem(IDCANCEL));
    });
    EXPECT_EQ(sheet.DoModal(), IDCANCEL);
    EXPECT_TRUE(wasModal);
}

}  // namespace
