// The control page against the simulated unit (the k40sim binary of this
// build): a command pressed on the page must change the unit's state, as a
// read back through the link shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "console/CtrlPropertyPage.h"
#include "console/RtuToolApp.h"
#include "console/windowing/PropertySheet.h"
#include "link/Exchange.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "tests/support/SimProcess.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const QString kOk = QString::fromUtf16(u"操作成功!");

class CtrlPropertyPageSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.Start({"--static", "--quiet"}));
        setenv("K40_COM1", m_sim.Path().c_str(), 1);
        ResetTheComm();
        ASSERT_NE(theComm.InitPort(), 0);
        theComm.m_nWaitTime = 1000;
        m_sheet.AddPage(&m_page);
        m_sheet.Create();
    }
    void TearDown() override {
        theComm.ClosePort();
        unsetenv("K40_COM1");
        EXPECT_EQ(m_sim.Stop(), 0);
    }
    void Press(int id) {
        m_boxes.Clear();
        ClickButton(m_page.GetDlgItem(id));
        EXPECT_EQ(m_boxes.Texts(), QStringList{kOk}) << id;
    }
    // One read through the link; the reply's data bytes (after the byte count).
    Bytes Read(std::uint8_t function, int address) {
        const ExchangeResult r =
            RunExchange(theComm, ExchangeVariant::Read, function, address, 1, nullptr);
        if (r.outcome != ExchangeOutcome::Reply || r.replyLength < 5) {
            ADD_FAILURE() << "no reply to function " << int{function} << " at " << address;
            return {};
        }
        return Bytes(theComm.m_RecvBuf + 3, theComm.m_RecvBuf + r.replyLength - 2);
    }

    CSimProcess m_sim;
    CMessageBoxRecorder m_boxes;
    CPropertySheet m_sheet{IDS_SHEET_CAPTION};
    CCtrlPropertyPage m_page;
};

TEST_F(CtrlPropertyPageSimTest, ManualAndAutoSetStatusBit0) {
    EXPECT_EQ(Read(0x01, 0), Bytes{0x00});  // the unit starts in automatic operation
    Press(IDC_MANUAL);
    EXPECT_EQ(Read(0x01, 0), Bytes{0x01});
    Press(IDC_AUTO);
    EXPECT_EQ(Read(0x01, 0), Bytes{0x00});
}

TEST_F(CtrlPropertyPageSimTest, ModuleCommandsReachTheModulesRegisters) {
    TypeInto(m_page.GetDlgItem(IDC_MODULE), "3");
    TypeInto(m_page.GetDlgItem(IDC_VOLTAGE), "250");
    Press(IDC_MODULEOFF);
    EXPECT_EQ(Read(0x03, 321), (Bytes{0xFF, 0x00}));
    Press(IDC_MODULEON);
    EXPECT_EQ(Read(0x03, 321), (Bytes{0x00, 0x00}));
    Press(IDC_SETVOLTAGE);
    EXPECT_EQ(Read(0x03, 319), (Bytes{0xC0, 0x00}));
    EXPECT_EQ(Read(0x03, 310), (Bytes{0xBB, 0xE7}));  // module 0 keeps 234 V
}

struct SilentBehindEcho {
    EchoMode mode;
    bool readFirst;
    const char16_t* shown;
};

void PrintTo(const SilentBehindEcho& c, std::ostream* os) {
    *os << EchoModeName(c.mode) << (c.readFirst ? " after a read" : "");
}

class SilentUnitBehindAnEchoingAdapter : public ::testing::TestWithParam<SilentBehindEcho> {};

// The unit never answers and the adapter returns every request: "手 动" must
// not be reported as done once the program knows that the line echoes.
TEST_P(SilentUnitBehindAnEchoingAdapter, Manual) {
    const SilentBehindEcho& c = GetParam();
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--static", "--quiet", "--adapter-echo", "--fault", "silent"}));
    setenv("K40_COM1", sim.Path().c_str(), 1);
    ResetTheComm();
    theComm.m_echoMode = c.mode;
    ASSERT_NE(theComm.InitPort(), 0);
    theComm.m_nWaitTime = 100;
    CPropertySheet sheet{IDS_SHEET_CAPTION};
    CCtrlPropertyPage page;
    sheet.AddPage(&page);
    sheet.Create();
    if (c.readFirst) {
        EXPECT_EQ(RunExchange(theComm, ExchangeVariant::Read, 0x01, 0, 15, nullptr).outcome,
                  ExchangeOutcome::Timeout);
    }
    CMessageBoxRecorder boxes;
    ClickButton(page.GetDlgItem(IDC_MANUAL));
    EXPECT_EQ(boxes.Texts(), QStringList{QString::fromUtf16(c.shown)});
    theComm.ClosePort();
    unsetenv("K40_COM1");
    EXPECT_EQ(sim.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, SilentUnitBehindAnEchoingAdapter,
                         ::testing::Values(SilentBehindEcho{EchoMode::On, false, u"操作不成功!"},
                                           SilentBehindEcho{EchoMode::Auto, true, u"操作不成功!"},
                                           // What off (and auto before any read) cannot tell.
                                           SilentBehindEcho{EchoMode::Off, true, u"操作成功!"}));

}  // namespace
