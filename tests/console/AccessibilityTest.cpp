// The console as assistive technology sees it, through Qt's accessibility
// interfaces in-process: a tab pressed by a screen reader goes through the
// sheet's page change like a click; radio buttons are announced as radio
// buttons, each edit box by its label, the list's column titles as headers.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCoreApplication>
#include <QTabBar>
#include <QTabWidget>
#include <cstdlib>
#include <ostream>

#include "console/MyPropertySheet.h"
#include "console/RtuToolApp.h"
#include "console/windowing/MessageBox.h"
#include "console/windowing/qt/QtWindows.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "tests/support/TestPty.h"

static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

QString U(const char16_t* text) {
    return QString::fromUtf16(text);
}

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.IsValid());
        setenv("K40_COM1", m_pty.Path().c_str(), 1);
        ResetTheComm();
        m_sheet.Create();
    }
    void TearDown() override {
        theComm.ClosePort();
        unsetenv("K40_COM1");
    }

    // Presses tab `index` the way a screen reader does: the press action of
    // the tab's accessible object, which sets the tab bar's current index.
    void PressTab(int index) {
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(TabBar());
        ASSERT_NE(bar, nullptr);
        ASSERT_LT(index, bar->childCount());
        QAccessibleInterface* tab = bar->child(index);
        ASSERT_NE(tab, nullptr);
        ASSERT_EQ(tab->role(), QAccessible::PageTab);
        QAccessibleActionInterface* action = tab->actionInterface();
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->actionNames().contains(QAccessibleActionInterface::pressAction()));
        action->doAction(QAccessibleActionInterface::pressAction());
    }
    // The page change the press asked for runs from the event loop.
    static void Settle() { QCoreApplication::processEvents(); }
    QTabBar* TabBar() { return TabControlOf(m_sheet)->tabBar(); }
    CPropertyPage* Page(int index) { return m_sheet.GetPage(index); }
    // Makes page `index` current and returns its accessible control `id`.
    QAccessibleInterface* Control(int index, int id) {
        m_sheet.SetActivePage(index);
        QWidget* w = WidgetOf(Page(index)->GetDlgItem(id));
        return w != nullptr ? QAccessible::queryAccessibleInterface(w) : nullptr;
    }

    CTestPty m_pty{CTestPty::LeaveSlave};
    CMessageBoxRecorder m_boxes;
    CMyPropertySheet m_sheet;
};

TEST_F(AccessibilityTest, PressingATabThroughAccessibilityActivatesItsPage) {
    const int pages = m_sheet.GetPageCount();
    ASSERT_EQ(pages, 4);
    // Every page from the one before it, then back to the first.
    for (int step = 1; step <= pages; ++step) {
        const int index = step % pages;
        PressTab(index);
        Settle();
        SCOPED_TRACE(index);
        EXPECT_EQ(m_sheet.GetActiveIndex(), index);
        EXPECT_EQ(TabControlOf(m_sheet)->currentIndex(), index);
        QWidget* window = Page(index)->GetSafeHwnd();
        ASSERT_NE(window, nullptr) << "the page window was never created";
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(TabControlOf(m_sheet)->currentWidget()->isAncestorOf(window));
    }
    // The settings page reloads its fields from theComm on its second visit.
    theComm.m_nSlaveAddr = 7;
    PressTab(1);
    Settle();
    PressTab(0);
    Settle();
    EXPECT_EQ(TextOf(Page(0)->GetDlgItem(IDC_ADDR)), "7");
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(AccessibilityTest, AnInvalidAddressKeepsTheSettingsPageWithOneValidationBox) {
    TypeInto(Page(0)->GetDlgItem(IDC_ADDR), "0");
    PressTab(1);
    // The press has returned, with the old tab back and no box yet: a screen
    // reader waiting on it is not held up by the modal box.
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_EQ(TabBar()->currentIndex(), 0);
    Settle();
    ASSERT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(m_sheet.GetActiveIndex(), 0);
    EXPECT_EQ(TabControlOf(m_sheet)->currentIndex(), 0);
    EXPECT_EQ(TabBar()->currentIndex(), 0);
    EXPECT_EQ(Page(1)->GetSafeHwnd(), nullptr);

    // A direct call to the tab widget takes the same road.
    m_boxes.Clear();
    TabControlOf(m_sheet)->setCurrentIndex(2);
    EXPECT_TRUE(m_boxes.Boxes().empty());
    Settle();
    EXPECT_EQ(m_boxes.Boxes().size(), 1u);
    EXPECT_EQ(TabControlOf(m_sheet)->currentIndex(), 0);
    EXPECT_EQ(Page(2)->GetSafeHwnd(), nullptr);

    m_boxes.Clear();
    TypeInto(Page(0)->GetDlgItem(IDC_ADDR), "5");
    PressTab(2);
    Settle();
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_EQ(m_sheet.GetActiveIndex(), 2);
    EXPECT_NE(Page(2)->GetSafeHwnd(), nullptr);
}

TEST_F(AccessibilityTest, RadioButtonsAreAnnouncedAsRadioButtons) {
    const int radios[] = {IDC_BAUD600,   IDC_BAUD1200,  IDC_BAUD2400, IDC_BAUD4800, IDC_BAUD9600,
                          IDC_BAUD19200, IDC_BAUD38400, IDC_COM1,     IDC_COM2};
    for (int id : radios) {
        QAccessibleInterface* radio = Control(0, id);
        ASSERT_NE(radio, nullptr) << id;
        EXPECT_EQ(radio->role(), QAccessible::RadioButton) << id;
    }
    // Still one choice per group: a baud rate does not uncheck the port.
    ClickButton(Page(0)->GetDlgItem(IDC_BAUD19200));
    EXPECT_TRUE(IsChecked(Page(0)->GetDlgItem(IDC_BAUD19200)));
    EXPECT_FALSE(IsChecked(Page(0)->GetDlgItem(IDC_BAUD9600)));
    EXPECT_TRUE(IsChecked(Page(0)->GetDlgItem(IDC_COM1)));
    ClickButton(Page(0)->GetDlgItem(IDC_COM2));
    EXPECT_TRUE(IsChecked(Page(0)->GetDlgItem(IDC_BAUD19200)));
    EXPECT_FALSE(IsChecked(Page(0)->GetDlgItem(IDC_COM1)));
}

TEST_F(AccessibilityTest, EveryEditBoxIsNamedByItsLabel) {
    struct Case {
        int page;
        int id;
        const char16_t* name;
    };
    const Case cases[] = {
        {0, IDC_ADDR, u"子站地址:"},      {0, IDC_WAITTIME, u"等待时间:"},
        {1, IDC_SENDEDIT, u"发送"},       {1, IDC_RECVEDIT, u"接收"},
        {2, IDC_MODULE, u"被调模块序号"}, {2, IDC_VOLTAGE, u"调整电压"},
        {2, IDC_CURRENT, u"调整电流"},    {2, IDC_SENDEDIT, u"发送"},
        {2, IDC_RECVEDIT, u"接收"},
    };
    for (const Case& c : cases) {
        QAccessibleInterface* edit = Control(c.page, c.id);
        ASSERT_NE(edit, nullptr) << c.id;
        EXPECT_EQ(edit->role(), QAccessible::EditableText) << c.id;
        EXPECT_EQ(edit->text(QAccessible::Name), U(c.name)) << c.page << " " << c.id;
    }
}

TEST_F(AccessibilityTest, TheListsColumnTitlesAreHeaders) {
    QAccessibleInterface* list = Control(1, IDC_LIST);
    ASSERT_NE(list, nullptr);
    QStringList headers;
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface* child = list->child(i);
        if (child != nullptr && child->role() == QAccessible::ColumnHeader) {
            headers << child->text(QAccessible::Name);
        }
    }
    const QStringList expected = {U(u"寄存器"), U(u"信号名称"), U(u"当前值"), U(u"单位")};
    EXPECT_EQ(headers, expected);
}

}  // namespace
