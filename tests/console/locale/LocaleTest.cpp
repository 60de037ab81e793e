// Numbers the program shows and reads under a comma-decimal locale: the read
// page's values, the control page's float boxes and their parsing keep the
// decimal point '.', whatever LC_NUMERIC says.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "console/CtrlPropertyPage.h"
#include "console/ReadPropertyPage.h"
#include "console/RtuToolApp.h"
#include "console/windowing/NumberParse.h"
#include "console/windowing/PropertySheet.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "support/ScriptedUnit.h"
#include "support/TestLine.h"
#include "tests/support/TestFrames.h"

namespace {

// The C library really formats with a comma here, so the tests below would
// see one if the program went through it.
TEST(CommaLocale, TheCLibraryFormatsWithAComma) {
    char text[16];
    std::snprintf(text, sizeof text, "%5.1f", 220.0);
    EXPECT_STREQ(text, "220,0");
}

TEST(CommaLocale, ReadPageValuesKeepTheDecimalPoint) {
    CTestLine line;
    ASSERT_TRUE(line.IsValid());
    SetEnv("K40_COM1", line.PortName().c_str());
    ResetTheComm();
    ASSERT_EQ(theComm.InitPort(), 1);
    CMessageBoxRecorder boxes;
    CPropertySheet sheet(IDS_SHEET_CAPTION);
    CReadPropertyPage page;
    sheet.AddPage(&page);
    sheet.Create();

    // Raw 47184, 0, 32767, 32768, 65535, 16384, 49151, 33422, 65534.
    const Bytes reply = WithCrc({0x01, 0x03, 0x12, 0xB8, 0x50, 0x00, 0x00, 0x7F, 0xFF, 0x80, 0x00,
                                 0xFF, 0xFF, 0x40, 0x00, 0xBF, 0xFF, 0x82, 0x8E, 0xFF, 0xFE});
    {
        CScriptedUnit unit(line, CScriptedUnit::Answer, {reply});
        ClickButton(page.GetDlgItem(IDC_READ03AI));
        EXPECT_EQ(unit.Request(), Request(1, 0x03, 100, 9));
    }
    Strings values;
    for (int r = 0; r < page.m_List.GetItemCount(); ++r) {
        values.push_back(page.m_List.GetItemText(r, 2));
    }
    EXPECT_EQ(values, (Strings{"220.0", "-500.0", " -0.0", "  0.0", "500.0", "-250.0", "250.0",
                               " 10.0", "500.0"}));
    EXPECT_EQ(boxes.Texts(), Strings());
    theComm.ClosePort();
    SetEnv("K40_COM1", nullptr);
}

TEST(CommaLocale, FloatBoxesFormatAndParseWithAPoint) {
    EXPECT_EQ(ParseFloatText("300.5"), 300.5f);
    EXPECT_EQ(ParseFloatText("300,5"), std::nullopt);
    EXPECT_EQ(FormatFloatText(234.1f), "234.1");

    CPropertySheet sheet(IDS_SHEET_CAPTION);
    CCtrlPropertyPage page;
    sheet.AddPage(&page);
    sheet.Create();
    page.m_fVoltage = 234.5f;
    page.UpdateData(FALSE);
    EXPECT_EQ(TextOf(page.GetDlgItem(IDC_VOLTAGE)), "234.5");
    TypeInto(page.GetDlgItem(IDC_VOLTAGE), "230.25");
    ASSERT_TRUE(page.UpdateData(TRUE));
    EXPECT_EQ(page.m_fVoltage, 230.25f);
}

}  // namespace
