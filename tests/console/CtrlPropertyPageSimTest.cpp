// The control page against the simulated unit (the k40sim binary of this
// build): a command pressed on the page must change the unit's state, as a
// read back through the link shows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/CtrlPropertyPage.h"
#include "console/MyPropertySheet.h"
#include "console/RtuToolApp.h"
#include "console/windowing/PropertySheet.h"
#include "link/Exchange.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/MessageBoxRecorder.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestFrames.h"

namespace {

class CtrlPropertyPageSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.Start({"--static", "--quiet"}));
        SetEnv("K40_COM1", m_sim.Path().c_str());
        ResetTheComm();
        ASSERT_NE(theComm.InitPort(), 0);
        theComm.m_nWaitTime = 1000;
        m_sheet.AddPage(&m_page);
        m_sheet.Create();
    }
    void TearDown() override {
        theComm.ClosePort();
        SetEnv("K40_COM1", nullptr);
        EXPECT_EQ(m_sim.Stop(), 0);
    }
    void Press(int id) {
        m_boxes.Clear();
        ClickButton(m_page.GetDlgItem(id));
        EXPECT_EQ(m_boxes.Texts(), Strings{kOk}) << id;
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
    EchoMode mode;  // as K40_ECHO sets it when the program starts
    bool readFirst;
    const char* shown;
    std::vector<Bytes> wire;  // the requests the unit heard, in order
};

void PrintTo(const SilentBehindEcho& c, std::ostream* os) {
    *os << EchoModeName(c.mode) << (c.readFirst ? " after a read" : "");
}

// The requests in a k40sim trace (see k40sim --help), in order.
std::vector<Bytes> TracedRequests(const std::string& path) {
    std::vector<Bytes> requests;
    std::ifstream trace(path);
    std::string line;
    while (std::getline(trace, line)) {
        std::istringstream fields(line);
        std::string seq, ms, hex;
        if (line.empty() || line[0] == '#' || !(fields >> seq >> ms >> hex)) {
            continue;
        }
        Bytes request;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            request.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        requests.push_back(request);
    }
    return requests;
}

const Bytes kManualRequest = Request(1, 5, 200, 0xFF00);
const Bytes kStatusWordRead = Request(1, 3, 0, 1);
const Bytes kCoilsRead = Request(1, 1, 0, 15);

class SilentUnitBehindAnEchoingAdapter : public ::testing::TestWithParam<SilentBehindEcho> {};

// The unit never answers and the adapter returns every request: "设  置",
// then "手 动" on "控制" must not be reported as done, and the hex boxes show
// the command's own frames, whatever the link read before it.
TEST_P(SilentUnitBehindAnEchoingAdapter, Manual) {
    const SilentBehindEcho& c = GetParam();
    // A file of its own: ctest runs the cases of this suite side by side.
    const std::string trace = ::testing::TempDir() + "k40-silent-echo-" +
                              std::to_string(getpid()) + ".trace";
    CSimProcess sim;
    ASSERT_TRUE(sim.Start(
        {"--static", "--quiet", "--adapter-echo", "--fault", "silent", "--trace", trace}));
    SetEnv("K40_COM1", sim.Path().c_str());
    ResetTheComm();
    theComm.m_echoMode = c.mode;
    CMyPropertySheet sheet;
    sheet.Create();
    CMessageBoxRecorder boxes;
    ClickButton(sheet.GetActivePage()->GetDlgItem(IDC_SET));
    ASSERT_EQ(boxes.Texts(), Strings{"串口初始化成功!"});
    theComm.m_nWaitTime = 100;
    if (c.readFirst) {
        EXPECT_EQ(RunExchange(theComm, ExchangeVariant::Read, 0x01, 0, 15, nullptr).outcome,
                  ExchangeOutcome::Timeout);
    }
    ASSERT_TRUE(sheet.SetActivePage(2));
    auto* page = dynamic_cast<CCtrlPropertyPage*>(sheet.GetActivePage());
    ASSERT_NE(page, nullptr);
    boxes.Clear();
    ClickButton(page->GetDlgItem(IDC_MANUAL));
    EXPECT_EQ(boxes.Texts(), Strings{c.shown});
    EXPECT_EQ(page->m_SendEdit.GetWindowText(), Hex(kManualRequest));
    EXPECT_EQ(page->m_RecvEdit.GetWindowText(), Hex(kManualRequest));  // its echo
    theComm.ClosePort();
    SetEnv("K40_COM1", nullptr);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_EQ(TracedRequests(trace), c.wire);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SilentUnitBehindAnEchoingAdapter,
    ::testing::Values(
        SilentBehindEcho{EchoMode::On, false, "操作不成功!", {kManualRequest}},
        // Auto reads the status word once first: the copy of that read shows the echo.
        SilentBehindEcho{EchoMode::Auto, false, "操作不成功!", {kStatusWordRead, kManualRequest}},
        SilentBehindEcho{EchoMode::Auto, true, "操作不成功!", {kCoilsRead, kManualRequest}},
        // What off cannot tell; it sends the command alone.
        SilentBehindEcho{EchoMode::Off, false, "操作成功!", {kManualRequest}}));

}  // namespace
