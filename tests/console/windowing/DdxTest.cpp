// The data exchange of a page with float and integer boxes and bound hex
// boxes, as the control page lists it: formats when loading, messages, order
// of checks, stored values and focus when saving.
#include <gtest/gtest.h>

#include "../support/ConsoleTestSupport.h"
#include "../support/MessageBoxRecorder.h"
#include "console/windowing/Ddx.h"
#include "console/windowing/Edit.h"
#include "console/windowing/PropertyPage.h"
#include "console/windowing/PropertySheet.h"
#include "resources/resource.h"

namespace {

class CSetpointPage : public CPropertyPage {
public:
    CSetpointPage() : CPropertyPage(IDD_CTRL) {}
    CEdit m_SendEdit;
    CEdit m_RecvEdit;
    float m_fVoltage = 234.0f;
    float m_fCurrent = 100.0f;
    int m_nModule = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_SENDEDIT, m_SendEdit);
        DDX_Control(pDX, IDC_RECVEDIT, m_RecvEdit);
        DDX_Text(pDX, IDC_VOLTAGE, m_fVoltage);
        DDV_MinMaxFloat(pDX, m_fVoltage, 0.0f, 300.0f);
        DDX_Text(pDX, IDC_CURRENT, m_fCurrent);
        DDV_MinMaxFloat(pDX, m_fCurrent, 0.0f, 110.0f);
        DDX_Text(pDX, IDC_MODULE, m_nModule);
        DDV_MinMaxInt(pDX, m_nModule, 0, 20);
    }
};

class DdxTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sheet.AddPage(&m_page);
        m_sheet.Create();
    }
    CWnd* Box(int id) { return m_page.GetDlgItem(id); }
    void Enter(const char* voltage, const char* current, const char* module) {
        TypeInto(Box(IDC_VOLTAGE), voltage);
        TypeInto(Box(IDC_CURRENT), current);
        TypeInto(Box(IDC_MODULE), module);
    }

    CMessageBoxRecorder m_boxes;
    CPropertySheet m_sheet{IDS_SHEET_CAPTION};
    CSetpointPage m_page;
};

TEST_F(DdxTest, LoadingWritesSixSignificantDigitsAndPlainIntegers) {
    EXPECT_EQ(TextOf(Box(IDC_VOLTAGE)), "234");
    EXPECT_EQ(TextOf(Box(IDC_CURRENT)), "100");
    EXPECT_EQ(TextOf(Box(IDC_MODULE)), "0");
    m_page.m_fVoltage = 234.1f;
    m_page.m_nModule = -5;  // loading does not check
    EXPECT_TRUE(m_page.UpdateData(FALSE));
    EXPECT_EQ(TextOf(Box(IDC_VOLTAGE)), "234.1");
    EXPECT_EQ(TextOf(Box(IDC_MODULE)), "-5");
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(DdxTest, BindsTheHexBoxesOnceAtTheFirstExchange) {
    EXPECT_EQ(m_page.m_SendEdit.GetSafeHwnd(), Box(IDC_SENDEDIT));
    EXPECT_EQ(m_page.m_RecvEdit.GetSafeHwnd(), Box(IDC_RECVEDIT));
    m_page.UpdateData(TRUE);
    m_page.UpdateData(FALSE);
    EXPECT_EQ(m_page.m_SendEdit.GetSafeHwnd(), Box(IDC_SENDEDIT));
}

struct SaveCase {
    const char* voltage;
    const char* current;
    const char* module;
    const char* message;  // null: the exchange passes
    int failingBox;
};

TEST_F(DdxTest, SavingChecksInListOrderAndStopsAtTheFirstFailure) {
    const SaveCase cases[] = {
        {"0", "110", "20", nullptr, 0},
        {"300", "0", "0", nullptr, 0},
        {" 12.5\t", "\t7 ", " 3 ", nullptr, 0},
        {"300.001", "100", "0", "“请填入一个在0和300之间的数字。”", IDC_VOLTAGE},
        {"234", "110.01", "0", "“请填入一个在0和110之间的数字。”", IDC_CURRENT},
        {"234", "100", "21", "“请填入一个在0和20之间的整数。”", IDC_MODULE},
        {"234", "100", "-1", "“请填入一个在0和20之间的整数。”", IDC_MODULE},
        {"", "100", "0", "请键入一个数。", IDC_VOLTAGE},
        {"234", "1.5x", "0", "请键入一个数。", IDC_CURRENT},
        {"234", "100", "3x", "请键入一个整数。", IDC_MODULE},
        {"1e39", "100", "0", "“请填入一个在0和300之间的数字。”", IDC_VOLTAGE},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(std::string(c.voltage) + " | " + c.current + " | " + c.module);
        m_boxes.Clear();
        Enter(c.voltage, c.current, c.module);
        const BOOL ok = m_page.UpdateData(TRUE);
        if (c.message == nullptr) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(m_boxes.Boxes().empty());
            continue;
        }
        EXPECT_FALSE(ok);
        ASSERT_EQ(m_boxes.Boxes().size(), 1u);
        EXPECT_EQ(m_boxes.Boxes()[0].text, c.message);
        EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONEXCLAMATION);
        EXPECT_EQ(m_boxes.Boxes()[0].caption, "K40-MODBUS规约调试软件");
        EXPECT_TRUE(HasFocus(&m_sheet, Box(c.failingBox)));
    }
}

TEST_F(DdxTest, AFieldKeepsTheValueThatFailedItsRangeAndLaterBoxesAreNotRead) {
    Enter("300.001", "55", "7");
    EXPECT_FALSE(m_page.UpdateData(TRUE));
    EXPECT_EQ(m_page.m_fVoltage, 300.001f);
    EXPECT_EQ(m_page.m_fCurrent, 100.0f);
    EXPECT_EQ(m_page.m_nModule, 0);

    Enter("250", "", "9");
    EXPECT_FALSE(m_page.UpdateData(TRUE));
    EXPECT_EQ(m_page.m_fVoltage, 250.0f);
    EXPECT_EQ(m_page.m_fCurrent, 100.0f);  // a text that does not parse stores nothing
    EXPECT_EQ(m_page.m_nModule, 0);
}

TEST_F(DdxTest, TheFailingBoxGetsTheFocusWithAllItsTextSelected) {
    Enter("234", " 1.5x ", "0");
    EXPECT_FALSE(m_page.UpdateData(TRUE));
    EXPECT_TRUE(HasFocus(&m_sheet, Box(IDC_CURRENT)));
    EXPECT_EQ(SelectedText(Box(IDC_CURRENT)), " 1.5x ");
}

}  // namespace
