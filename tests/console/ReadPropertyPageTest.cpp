// The read data page driven through its buttons, with the unit played on a
// test line that stands in for COM1: the rows of the three reads, what
// the send and receive boxes show, time-outs, exception replies, a reply in
// pieces, and the page as the main sheet's second tab.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "console/MyPropertySheet.h"
#include "console/ReadPropertyPage.h"
#include "console/RtuToolApp.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/EchoWatch.h"
#include "support/MessageBoxRecorder.h"
#include "support/ScriptedUnit.h"
#include "support/TestLine.h"
#include "tests/support/TestFrames.h"
#ifndef _WIN32
#include <QDialog>
#include <QHeaderView>
#include <QTableWidget>
#include <QTest>

#include "support/qt/QtTestSupport.h"
#endif

namespace {

const std::string kNoReply = "RTU无应答!";

const Strings kDigitalNames = {
    "系统运行方式",     "电池均浮充状态", "系统绝缘下降",   "电池单体电压异常",
    "充电模块通讯离线", "绝缘仪通讯离线", "电池仪通讯离线", "母线电压异常",
    "电池组电压异常",   "电池组充电过流", "电池组熔芯熔断", "馈出支路跳闸",
    "交流输入空开跳闸", "防雷器故障",     "交流停电",       "",
};
const Strings kDigitalLegends = {
    "0：自动，1：手动", "0：均充，1：浮充", "0：正常，1：下降", "0：正常，1：异常",
    "0：在线，1：离线", "0：在线，1：离线", "0：在线，1：离线", "0：正常，1：异常",
    "0：正常，1：异常", "0：正常，1：过流", "0：正常，1：熔断", "0：正常，1：跳闸",
    "0：正常，1：跳闸", "0：正常，1：故障", "0：正常，1：故障", "",
};
const Strings kAnalogNames = {
    "屏内交流输入AB电压", "屏内交流输入BC电压", "屏内交流输入CA电压",
    "合闸母线电压",       "控制母线电压",       "负载电流",
    "电池组电压",         "电池组电流",         "电池房温度",
};
const Strings kAnalogUnits = {"V", "V", "V", "V", "A", "V", "V", "V", "V"};

// Register 1234 hex: bit r of the value is row r.
const Strings kBits1234 = {"0", "0", "1", "0", "1", "1", "0", "0",
                           "0", "1", "0", "0", "1", "0", "0", "0"};

Strings Numbers(int count) {
    Strings numbers;
    for (int r = 0; r < count; ++r) {
        char number[8];
        std::snprintf(number, sizeof number, "%03d", r);
        numbers.push_back(number);
    }
    return numbers;
}

Bytes CoilReply(std::uint8_t lo, std::uint8_t hi) {
    return WithCrc({0x01, 0x01, 0x02, lo, hi});
}
Bytes RegisterReply(std::uint8_t hi, std::uint8_t lo) {
    return WithCrc({0x01, 0x03, 0x02, hi, lo});
}
Bytes AnalogReply(const std::vector<std::uint16_t>& raws) {
    Bytes frame = {0x01, 0x03, static_cast<std::uint8_t>(2 * raws.size())};
    for (std::uint16_t raw : raws) {
        frame.push_back(static_cast<std::uint8_t>(raw >> 8));
        frame.push_back(static_cast<std::uint8_t>(raw));
    }
    return WithCrc(frame);
}

const std::vector<std::uint16_t> kNineRaws = {47184, 0,     32767, 32768, 65535,
                                              16384, 49151, 33422, 65534};
const Strings kNineValues = {"220.0",  "-500.0", " -0.0", "  0.0", "500.0",
                             "-250.0", "250.0",  " 10.0", "500.0"};

class ReadPropertyPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_line.IsValid());
        SetEnv("K40_COM1", m_line.PortName().c_str());
        ResetTheComm();
        ASSERT_EQ(theComm.InitPort(), 1);
        theComm.m_nWaitTime = 1000;  // ends early on the reply; only time-outs wait it out
        m_sheet.AddPage(&m_page);
        m_sheet.Create();
    }
    void TearDown() override {
        theComm.ClosePort();
        SetEnv("K40_COM1", nullptr);
    }

    // Presses a button of the page while the unit answers with these pieces;
    // the request the unit took.
    Bytes Press(CPropertyPage& page, int id, std::vector<Bytes> pieces,
                CEchoWatch* watch = nullptr) {
        CScriptedUnit unit(m_line, CScriptedUnit::Answer, std::move(pieces), watch);
        ClickButton(page.GetDlgItem(id));
        return unit.Request();
    }
    Bytes Press(int id, std::vector<Bytes> pieces, CEchoWatch* watch = nullptr) {
        return Press(m_page, id, std::move(pieces), watch);
    }
    Strings Column(int col) const {
        Strings texts;
        for (int r = 0; r < m_page.m_List.GetItemCount(); ++r) {
            texts.push_back(Utf8(m_page.m_List.GetItemText(r, col).c_str()));
        }
        return texts;
    }
    std::vector<Strings> Rows() const { return {Column(0), Column(1), Column(2), Column(3)}; }
    std::string SendText() const { return Utf8(m_page.m_SendEdit.GetWindowText().c_str()); }
    std::string RecvText() const { return Utf8(m_page.m_RecvEdit.GetWindowText().c_str()); }

    CTestLine m_line;
    CMessageBoxRecorder m_boxes;
    CPropertySheet m_sheet{IDS_SHEET_CAPTION};
    CReadPropertyPage m_page;
};

TEST_F(ReadPropertyPageTest, AFreshPageHasFourColumnsAndNoRows) {
    ASSERT_EQ(m_page.m_List.GetColumnCount(), 4);
#ifndef _WIN32
    auto* list = qobject_cast<QTableWidget*>(WidgetOf(m_page.GetDlgItem(IDC_LIST)));
    ASSERT_NE(list, nullptr);
    const Strings headings = {"寄存器", "信号名称", "当前值", "单位"};
    const int widths[] = {50, 120, 50, 120};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(list->horizontalHeaderItem(c)->text().toStdString(), headings[c]);
        EXPECT_EQ(list->columnWidth(c), widths[c]);
    }
#endif
    EXPECT_EQ(m_page.m_List.GetExtendedStyle(), 0x29u);
    EXPECT_EQ(m_page.m_List.GetItemCount(), 0);
    EXPECT_TRUE(SendText().empty());
    EXPECT_TRUE(RecvText().empty());
}

TEST_F(ReadPropertyPageTest, Read01DIShowsSixteenStatusRows) {
    const Bytes reply = CoilReply(0x34, 0x12);
    EXPECT_EQ(Press(IDC_READ01DI, {reply}), Request(1, 0x01, 0, 15));
    EXPECT_EQ(SendText(), "01 01 00 00 00 0F 7C 0E ");
    EXPECT_EQ(RecvText(), Hex(reply));
    EXPECT_EQ(Column(0), Numbers(16));
    EXPECT_EQ(Column(1), kDigitalNames);
    EXPECT_EQ(Column(2), kBits1234);
    EXPECT_EQ(Column(3), kDigitalLegends);
    EXPECT_EQ(Column(1)[10], "电池组熔芯熔断");  // by position, not by its number 12
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(ReadPropertyPageTest, Read03DIShowsTheBitsOfRead01DI) {
    // The coil reply carries the low byte first, the register reply high byte first.
    const std::pair<std::uint8_t, std::uint8_t> words[] = {
        {0x12, 0x34}, {0x00, 0x01}, {0x80, 0x00}, {0x7F, 0xFF}, {0xA5, 0x5A}};
    for (const auto& [hi, lo] : words) {
        SCOPED_TRACE(Hex({hi, lo}));
        EXPECT_EQ(Press(IDC_READ03DI, {RegisterReply(hi, lo)}), Request(1, 0x03, 0, 1));
        const std::vector<Strings> registerRows = Rows();
        ASSERT_EQ(registerRows[0], Numbers(16));
        Press(IDC_READ01DI, {CoilReply(lo, hi)});
        EXPECT_EQ(Rows(), registerRows);
        const int value = hi << 8 | lo;
        for (int r = 0; r < 16; ++r) {
            EXPECT_EQ(registerRows[2][r], std::to_string(value >> r & 1)) << r;
        }
    }
    EXPECT_EQ(SendText(), "01 01 00 00 00 0F 7C 0E ");
    Press(IDC_READ03DI, {RegisterReply(0x12, 0x34)});
    EXPECT_EQ(SendText(), "01 03 00 00 00 01 84 0A ");
    EXPECT_EQ(Column(2), kBits1234);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(ReadPropertyPageTest, Read03AIShowsNineMeasurementsWithTheirUnits) {
    EXPECT_EQ(Press(IDC_READ03AI, {AnalogReply(kNineRaws)}), Request(1, 0x03, 100, 9));
    EXPECT_EQ(SendText(), "01 03 00 64 00 09 C4 13 ");
    EXPECT_EQ(Column(0), Numbers(9));  // rows 000..008 for registers 100..108
    EXPECT_EQ(Column(1), kAnalogNames);
    EXPECT_EQ(Column(2), kNineValues);
    EXPECT_EQ(Column(3), kAnalogUnits);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(ReadPropertyPageTest, Read03AILeavesTheReceiveBoxAsRead01DILeftIt) {
    const Bytes reply = CoilReply(0x34, 0x12);
    Press(IDC_READ01DI, {reply});
    CEchoWatch watch(m_page.m_RecvEdit);
    Press(IDC_READ03AI, {AnalogReply(kNineRaws)});
    EXPECT_EQ(Column(2), kNineValues);
    EXPECT_EQ(RecvText(), Hex(reply));
    EXPECT_TRUE(watch.Texts().empty());  // not even rewritten with the same text
}

TEST_F(ReadPropertyPageTest, ATimeOutKeepsTheRowsAndTheReceiveBox) {
    const Bytes reply = CoilReply(0x34, 0x12);
    Press(IDC_READ01DI, {reply});
    const std::vector<Strings> rows = Rows();
    theComm.m_nWaitTime = 100;
    const std::pair<int, const char*> buttons[] = {
        {IDC_READ01DI, "01 01 00 00 00 0F 7C 0E "},
        {IDC_READ03DI, "01 03 00 00 00 01 84 0A "},
        {IDC_READ03AI, "01 03 00 64 00 09 C4 13 "},
    };
    for (const auto& [id, request] : buttons) {
        SCOPED_TRACE(request);
        m_boxes.Clear();
        Press(id, {});  // the unit takes the request and stays silent
        ASSERT_EQ(m_boxes.Texts(), Strings{kNoReply});
        EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONSTOP);
        EXPECT_EQ(m_boxes.Boxes()[0].caption, kTitle);
        EXPECT_EQ(Rows(), rows);
        EXPECT_EQ(SendText(), request);
        EXPECT_EQ(RecvText(), Hex(reply));  // nothing arrived: the last reply stays
    }
}

struct ExceptionCase {
    int button;
    std::uint8_t function;
    std::uint8_t code;
    const char* message;
};

TEST_F(ReadPropertyPageTest, AnExceptionReplyIsReportedAndKeepsTheRows) {
    const ExceptionCase cases[] = {
        {IDC_READ01DI, 0x81, 0x02, "RTU异常应答!\n异常码 02：非法数据地址"},
        {IDC_READ03DI, 0x83, 0x01, "RTU异常应答!\n异常码 01：非法功能"},
        {IDC_READ03AI, 0x83, 0x06, "RTU异常应答!\n异常码 06：从站设备忙"},
        {IDC_READ01DI, 0x81, 0x04, "RTU异常应答!\n异常码 04：从站设备故障"},
    };
    Press(IDC_READ03AI, {AnalogReply(kNineRaws)});
    const std::vector<Strings> rows = Rows();
    for (const ExceptionCase& c : cases) {
        SCOPED_TRACE(c.message);
        m_boxes.Clear();
        const Bytes exception = WithCrc({0x01, c.function, c.code});
        Press(c.button, {exception});
        ASSERT_EQ(m_boxes.Texts(), Strings{c.message});
        EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONSTOP);
        EXPECT_EQ(Rows(), rows);
        if (c.button != IDC_READ03AI) {
            EXPECT_EQ(RecvText(), Hex(exception));
        }
    }
}

TEST_F(ReadPropertyPageTest, AReplyInPiecesIsEchoedGrowingFromTheFirstByte) {
    // Junk ahead of the reply is shown too; the tenth byte ends the first line.
    const Bytes reply = CoilReply(0x34, 0x12);
    const std::vector<Bytes> pieces = {
        {0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA},
        {reply[0], reply[1], reply[2]},
        {reply[3], reply[4]},
        {reply[5], reply[6]},
    };
    // The window is on screen; no event loop turns while the exchange runs.
#ifndef _WIN32
    ASSERT_TRUE(QTest::qWaitForWindowExposed(DialogOf(m_sheet)));
#endif
    ProcessEvents();
    CEchoWatch watch(m_page.m_RecvEdit);
    Press(IDC_READ01DI, pieces, &watch);
    const std::string crc = Hex({reply[5], reply[6]});
    const Strings expected = {
        "FF FE FD FC FB FA ",
        "FF FE FD FC FB FA 01 01 02 ",
        "FF FE FD FC FB FA 01 01 02 34 \r\n12 ",
        "FF FE FD FC FB FA 01 01 02 34 \r\n12 " + crc,
    };
    EXPECT_EQ(watch.Texts(), expected);
    // Painted while the exchange still blocked the window, not afterwards.
    EXPECT_EQ(watch.Painted(), expected);
    EXPECT_EQ(RecvText(), expected.back());
    EXPECT_EQ(Column(2), kBits1234);
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(ReadPropertyPageTest, AReadWithThePortClosedTimesOut) {
    theComm.ClosePort();
    theComm.m_nWaitTime = 100;
    ClickButton(m_page.GetDlgItem(IDC_READ01DI));
    ASSERT_EQ(m_boxes.Texts(), Strings{kNoReply});
    EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONSTOP);
    EXPECT_EQ(SendText(), "01 01 00 00 00 0F 7C 0E ");  // shown although never sent
    EXPECT_TRUE(RecvText().empty());
    EXPECT_EQ(m_page.m_List.GetItemCount(), 0);
}

TEST_F(ReadPropertyPageTest, TheMainSheetShowsThePageAsItsSecondTab) {
    CMyPropertySheet sheet;
    sheet.Create();
    ASSERT_GE(sheet.GetPageCount(), 2);
    EXPECT_EQ(TabText(sheet, 1), "读数据");
    ASSERT_TRUE(sheet.SetActivePage(1));
    auto* page = dynamic_cast<CReadPropertyPage*>(sheet.GetActivePage());
    ASSERT_NE(page, nullptr);

    Press(*page, IDC_READ01DI, {CoilReply(0x34, 0x12)});
    EXPECT_EQ(page->m_List.GetItemCount(), 16);
#ifndef _WIN32
    SaveScreenshot(*DialogOf(sheet), "read_rows_di.png");
#endif
    Press(*page, IDC_READ03AI, {AnalogReply(kNineRaws)});
    EXPECT_EQ(page->m_List.GetItemText(0, 2), "220.0");  // ASCII: GBK and UTF-8 alike
#ifndef _WIN32
    SaveScreenshot(*DialogOf(sheet), "read_rows.png");
#endif
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

}  // namespace
