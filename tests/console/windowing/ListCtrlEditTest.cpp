// The list and edit wrappers on the read page's layout: columns, extended
// style, rows filled cell by cell from GBK text, and hex boxes that show
// their text at once.
#include <gtest/gtest.h>

#include <QDialog>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTextBlock>
#include <QtTest/QTest>

#include "../support/ConsoleTestSupport.h"
#include "console/windowing/Ddx.h"
#include "console/windowing/Edit.h"
#include "console/windowing/ListCtrl.h"
#include "console/windowing/PropertyPage.h"
#include "console/windowing/PropertySheet.h"
#include "console/windowing/qt/GbkText.h"
#include "console/windowing/qt/QtWindows.h"
#include "resources/resource.h"

namespace {

class CListPage : public CPropertyPage {
public:
    CListPage() : CPropertyPage(IDD_READ) {}
    CListCtrl m_List;
    CEdit m_SendEdit;
    CEdit m_RecvEdit;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_LIST, m_List);
        DDX_Control(pDX, IDC_SENDEDIT, m_SendEdit);
        DDX_Control(pDX, IDC_RECVEDIT, m_RecvEdit);
    }
};

// Counts the paint events a widget receives.
class CPaintCounter : public QObject {
public:
    int m_nPaints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++m_nPaints;
        }
        return QObject::eventFilter(watched, event);
    }
};

class ListCtrlEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sheet.AddPage(&m_page);
        m_sheet.Create();
        m_pTable = qobject_cast<QTableWidget*>(WidgetOf(m_page.GetDlgItem(IDC_LIST)));
        ASSERT_NE(m_pTable, nullptr);
    }
    static std::string Gbk(const char16_t* text) {
        return ToGbk(QString::fromUtf16(text)).toStdString();
    }

    CPropertySheet m_sheet{IDS_SHEET_CAPTION};
    CListPage m_page;
    QTableWidget* m_pTable = nullptr;
};

TEST_F(ListCtrlEditTest, ColumnsTakeHeaderWidthAndOrder) {
    CListCtrl& list = m_page.m_List;
    EXPECT_EQ(list.InsertColumn(0, Gbk(u"寄存器").c_str(), LVCFMT_LEFT, 50, 0), 0);
    EXPECT_EQ(list.InsertColumn(1, Gbk(u"信号名称").c_str(), LVCFMT_LEFT, 120, 1), 1);
    EXPECT_EQ(list.InsertColumn(5, Gbk(u"单位").c_str(), LVCFMT_LEFT, 120, 5), 2);
    EXPECT_EQ(list.InsertColumn(2, Gbk(u"当前值").c_str(), LVCFMT_LEFT, 50, 2), 2);
    ASSERT_EQ(list.GetColumnCount(), 4);
    const char16_t* headers[] = {u"寄存器", u"信号名称", u"当前值", u"单位"};
    const int widths[] = {50, 120, 50, 120};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(m_pTable->horizontalHeaderItem(c)->text(), QString::fromUtf16(headers[c]));
        EXPECT_EQ(m_pTable->columnWidth(c), widths[c]);
    }
}

TEST_F(ListCtrlEditTest, ExtendedStyleIsReplacedAsAWhole) {
    CListCtrl& list = m_page.m_List;
    EXPECT_EQ(list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_TRACKSELECT | LVS_EX_FULLROWSELECT),
              0u);
    EXPECT_EQ(list.GetExtendedStyle(), 0x29u);
    EXPECT_TRUE(m_pTable->showGrid());
    EXPECT_EQ(m_pTable->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(m_pTable->hasMouseTracking());
    EXPECT_EQ(list.SetExtendedStyle(LVS_EX_GRIDLINES), 0x29u);
    EXPECT_EQ(m_pTable->selectionBehavior(), QAbstractItemView::SelectItems);
    EXPECT_FALSE(m_pTable->hasMouseTracking());
}

TEST_F(ListCtrlEditTest, TrackSelectSelectsTheRowUnderThePointer) {
    CListCtrl& list = m_page.m_List;
    list.InsertColumn(0, "a", LVCFMT_LEFT, 50, 0);
    list.InsertColumn(1, "b", LVCFMT_LEFT, 50, 1);
    list.SetExtendedStyle(0x29);
    for (int r = 0; r < 3; ++r) {
        list.InsertItem(r, "x");
    }
    emit m_pTable->entered(m_pTable->model()->index(2, 1));
    const QModelIndexList rows = m_pTable->selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].row(), 2);
}

TEST_F(ListCtrlEditTest, RowsAreInsertedAndFilledCellByCell) {
    CListCtrl& list = m_page.m_List;
    EXPECT_EQ(list.InsertItem(0, "000"), -1);  // no columns yet
    for (int c = 0; c < 4; ++c) {
        list.InsertColumn(c, "h", LVCFMT_LEFT, 50, c);
    }
    EXPECT_EQ(list.InsertItem(0, "000"), 0);
    EXPECT_EQ(list.InsertItem(7, "001"), 1);  // beyond the end: appended
    EXPECT_TRUE(list.SetItemText(0, 1, Gbk(u"系统运行方式").c_str()));
    EXPECT_TRUE(list.SetItemText(1, 3, Gbk(u"0：自动，1：手动").c_str()));
    EXPECT_FALSE(list.SetItemText(2, 0, "x"));
    EXPECT_FALSE(list.SetItemText(0, 4, "x"));
    EXPECT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemText(0, 0), "000");
    EXPECT_EQ(list.GetItemText(0, 1), Gbk(u"系统运行方式"));
    EXPECT_EQ(list.GetItemText(1, 3), Gbk(u"0：自动，1：手动"));
    EXPECT_EQ(list.GetItemText(1, 2), "");
    // A text cut off by its narrow column can still be read in full.
    EXPECT_EQ(m_pTable->item(0, 1)->toolTip(), QString::fromUtf16(u"系统运行方式"));
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.GetColumnCount(), 4);
}

TEST_F(ListCtrlEditTest, MultiLineBoxBreaksLinesAtCrLf) {
    const char* text = "01 03 12 00 00 00 00 00 00 00 \r\n00 00 ";
    m_page.m_RecvEdit.SetWindowText(text);
    auto* box = qobject_cast<QPlainTextEdit*>(WidgetOf(m_page.GetDlgItem(IDC_RECVEDIT)));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->document()->blockCount(), 2);
    EXPECT_EQ(box->document()->firstBlock().text(), "01 03 12 00 00 00 00 00 00 00 ");
    EXPECT_EQ(m_page.m_RecvEdit.GetWindowText(), text);
    m_page.m_RecvEdit.SetWindowText("");
    EXPECT_EQ(m_page.m_RecvEdit.GetWindowText(), "");
}

TEST_F(ListCtrlEditTest, SettingTheTextReplacesItAndPaintsAtOnce) {
    // As when an exchange runs: the window is on screen, and no event loop
    // turns while the boxes are written.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(DialogOf(m_sheet)));
    QCoreApplication::processEvents();
    CPaintCounter sendPaints;
    CPaintCounter recvPaints;
    QWidget* send = WidgetOf(m_page.GetDlgItem(IDC_SENDEDIT));
    auto* recv = qobject_cast<QPlainTextEdit*>(WidgetOf(m_page.GetDlgItem(IDC_RECVEDIT)));
    send->installEventFilter(&sendPaints);
    recv->viewport()->installEventFilter(&recvPaints);
    m_page.m_SendEdit.SetWindowText("01 03 00 64 00 09 C4 13 ");
    m_page.m_RecvEdit.SetWindowText("01 03 ");
    EXPECT_GE(sendPaints.m_nPaints, 1);
    EXPECT_GE(recvPaints.m_nPaints, 1);
    EXPECT_EQ(m_page.m_SendEdit.GetWindowText(), "01 03 00 64 00 09 C4 13 ");
    m_page.m_SendEdit.SetWindowText(Gbk(u"发送").c_str());
    EXPECT_EQ(m_page.m_SendEdit.GetWindowText(), Gbk(u"发送"));
}

TEST(GbkText, DecodesAndEncodesCodePage936) {
    EXPECT_EQ(FromGbk("\xb4\xae\xbf\xda"), QString::fromUtf16(u"串口"));
    EXPECT_EQ(ToGbk(QString::fromUtf16(u"串口")), QByteArray("\xb4\xae\xbf\xda"));
    EXPECT_EQ(FromGbk(nullptr), QString());
    EXPECT_EQ(FromGbk("RTU"), "RTU");
}

}  // namespace
