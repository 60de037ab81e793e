// The version page in the main sheet: its tab, the emblem and the seven text
// lines where the layout puts them, and that visiting it is harmless: no box,
// no exchange, the port neither opened nor closed nor written to.
#include <gtest/gtest.h>

#include <cstdlib>

#include "console/AboutPropertyPage.h"
#include "console/MyPropertySheet.h"
#include "console/RtuToolApp.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "support/TestLine.h"
#ifndef _WIN32
#include <QLabel>

#include "support/qt/QtTestSupport.h"
#endif

namespace {

const std::string kCaption = "版本信息";

// The texts of the page in dialog order. The maker's lines stay empty: the
// program names no maker, telephone or fax it cannot vouch for.
const Strings kLines = {
    "HCU-K40监控MODBUS规约调试软件", "软件版本：V1.0", "k40tool", "", "", "", "",
};

class AboutPropertyPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_line.IsValid());
        SetEnv("K40_COM1", m_line.PortName().c_str());
        ResetTheComm();
        m_sheet.Create();
        // The version page is the last tab, whatever pages come before it.
        m_nAbout = m_sheet.GetPageCount() - 1;
        m_pPage = dynamic_cast<CAboutPropertyPage*>(m_sheet.GetPage(m_nAbout));
        ASSERT_NE(m_pPage, nullptr);
    }
    void TearDown() override {
        theComm.ClosePort();
        SetEnv("K40_COM1", nullptr);
    }
#ifndef _WIN32
    // The page's labels in dialog order: the picture first, then the lines.
    QList<QLabel*> Labels() const {
        return m_pPage->GetSafeHwnd()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    }
#endif

    // The slave side is the program's alone: ProgramHoldsLine() tells whether it
    // holds the port.
    CTestLine m_line{CTestLine::LeaveSlave};
    CMessageBoxRecorder m_boxes;
    CMyPropertySheet m_sheet;
    int m_nAbout = -1;
    CAboutPropertyPage* m_pPage = nullptr;
};

TEST_F(AboutPropertyPageTest, IsTheLastTabCalledVersionInformation) {
    EXPECT_EQ(m_pPage->GetTemplateID(), static_cast<UINT>(IDD_ABOUT));
    EXPECT_EQ(m_pPage->GetCaption(), kCaption);
    EXPECT_EQ(TabText(m_sheet, m_nAbout), kCaption);
    EXPECT_EQ(m_pPage->GetSafeHwnd(), nullptr);  // built when first selected
}

#ifndef _WIN32
// Where the Qt backend puts the emblem and the lines.
TEST_F(AboutPropertyPageTest, ShowsTheEmblemAndTheSevenLines) {
    ASSERT_TRUE(m_sheet.SetActivePage(m_nAbout));
    const QList<QLabel*> labels = Labels();
    ASSERT_EQ(static_cast<std::size_t>(labels.size()), 1 + kLines.size());

    QLabel* picture = labels[0];
    EXPECT_TRUE(picture->text().isEmpty());
    const QPixmap pixmap = picture->pixmap();
    ASSERT_FALSE(pixmap.isNull()) << "bitmap 130 is not compiled in";
    EXPECT_EQ(pixmap.size(), QSize(260, 124));
    EXPECT_EQ(picture->size(), pixmap.size());  // sized to the picture

    const QRect page = m_pPage->GetSafeHwnd()->rect();
    EXPECT_TRUE(page.contains(picture->geometry())) << "the emblem leaves the page";
    int previousBottom = picture->geometry().bottom();
    for (int i = 0; i < static_cast<int>(kLines.size()); ++i) {
        QLabel* line = labels[1 + i];
        EXPECT_EQ(line->text().toStdString(), kLines[i]) << "line " << i + 1;
        EXPECT_EQ(line->pixmap().isNull(), true) << "line " << i + 1;
        EXPECT_TRUE(line->isVisible()) << "line " << i + 1;
        // One below the other, under the emblem, all starting at one margin.
        EXPECT_GT(line->y(), previousBottom) << "line " << i + 1 << " overlaps the one above";
        EXPECT_EQ(line->x(), labels[1]->x()) << "line " << i + 1;
        EXPECT_TRUE(page.contains(line->geometry())) << "line " << i + 1 << " leaves the page";
        previousBottom = line->geometry().bottom();
    }
    // Nothing on the page takes the focus or can be operated.
    for (QWidget* w : m_pPage->GetSafeHwnd()->findChildren<QWidget*>()) {
        EXPECT_EQ(w->focusPolicy(), Qt::NoFocus);
    }
}
#endif

TEST_F(AboutPropertyPageTest, ComingAndGoingShowsNoBoxAndLeavesThePortClosed) {
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(m_sheet.SetActivePage(m_nAbout)) << round;
        EXPECT_EQ(m_sheet.GetActivePage(), m_pPage);
        EXPECT_TRUE(IsShown(m_pPage));
        EXPECT_TRUE(m_pPage->OnKillActive());  // no field can fail
        ASSERT_TRUE(m_sheet.SetActivePage(0)) << "leaving the version page was refused";
        EXPECT_EQ(m_sheet.GetActiveIndex(), 0);
    }
    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_FALSE(theComm.IsOpen());
    EXPECT_FALSE(m_line.ProgramHoldsLine());
}

TEST_F(AboutPropertyPageTest, AnOpenPortStaysOpenAndQuiet) {
    ClickButton(m_sheet.GetActivePage()->GetDlgItem(IDC_SET));
    ASSERT_EQ(m_boxes.Texts(), Strings{"串口初始化成功!"});
    m_boxes.Clear();
    ASSERT_TRUE(theComm.IsOpen());
    const int sent = theComm.m_nSendLen;
    const int received = theComm.m_nRecvLen;

    ASSERT_TRUE(m_sheet.SetActivePage(m_nAbout));
    ASSERT_TRUE(m_sheet.SetActivePage(0));

    EXPECT_TRUE(m_boxes.Boxes().empty());
    EXPECT_TRUE(theComm.IsOpen());
    EXPECT_TRUE(m_line.ProgramHoldsLine());
    EXPECT_FALSE(m_line.HasInput());  // nothing written to the line
    EXPECT_EQ(theComm.m_nSendLen, sent);
    EXPECT_EQ(theComm.m_nRecvLen, received);
}

}  // namespace
