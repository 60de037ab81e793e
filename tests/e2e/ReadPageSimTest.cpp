// The read data page against k40sim: the port is set up on the settings page
// with COM1 pointing at the simulator, then the three reads run through the
// main sheet and the rows must show the simulated unit's values.
#include <gtest/gtest.h>

#include <QStringList>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/MyPropertySheet.h"
#include "console/ReadPropertyPage.h"
#include "console/RtuToolApp.h"
#include "resources/resource.h"
#include "sim/SimUnit.h"
#include "tests/console/support/ConsoleTestSupport.h"
#include "tests/console/support/MessageBoxRecorder.h"
#include "tests/console/support/qt/QtTestSupport.h"
#include "tests/support/FakePortTree.h"
#include "tests/support/SimProcess.h"

namespace {

// A status word whose bits are no pattern a wrong bit order would keep.
constexpr std::uint16_t kStatus = 0x4A53;

class ReadPageSimTest : public ::testing::Test {
protected:
    // Starts the simulator, points COM1 at it and presses "设  置" with the
    // settings page as it comes up (COM1, 9600, address 1, 1500 ms).
    void Connect(const std::vector<std::string>& simArgs) {
        ASSERT_TRUE(m_sim.Start(simArgs));
        SetEnv("K40_COM1", m_sim.Path().c_str());
        SetUpCom1();
    }
    // The same with K40_COM1 unset: the simulator is the first USB adapter
    // of the ports present, as a plugged-in adapter would be.
    void ConnectAsAdapter(const std::vector<std::string>& simArgs) {
        ASSERT_TRUE(m_sim.Start(simArgs));
        ASSERT_TRUE(m_tree.IsValid());
        m_tree.AddNode("ttyUSB0", m_sim.Path());
        m_tree.AddUsbDetails("ttyUSB0", {"1a86", "7523", "", "USB Serial", "", "ch341-uart"});
        m_tree.AddUart("ttyS0", 4);  // a real UART on the board comes after it
        SetEnv("K40_COM1", nullptr);
        PointPortsAt(m_tree.Dev(), m_tree.Sys());
        SetUpCom1();
    }
    void SetUpCom1() {
        ResetTheComm();
        m_sheet.Create();
        ClickButton(m_sheet.GetActivePage()->GetDlgItem(IDC_SET));
        ASSERT_EQ(m_boxes.Texts(), Strings{"串口初始化成功!"});
        m_boxes.Clear();
        ASSERT_TRUE(m_sheet.SetActivePage(1));
        m_pPage = dynamic_cast<CReadPropertyPage*>(m_sheet.GetActivePage());
        ASSERT_NE(m_pPage, nullptr);
    }
    void TearDown() override {
        theComm.ClosePort();
        SetEnv("K40_COM1", nullptr);
        PointPortsNowhere();
        if (m_sim.Pid() > 0) {
            EXPECT_EQ(m_sim.Stop(), 0);
        }
    }

    void Press(int id) { ClickButton(m_pPage->GetDlgItem(id)); }
    QStringList Column(int col) const {
        QStringList texts;
        for (int r = 0; r < m_pPage->m_List.GetItemCount(); ++r) {
            texts << Q(Utf8(m_pPage->m_List.GetItemText(r, col).c_str()));
        }
        return texts;
    }
    static QStringList StatusBits() {
        QStringList bits;
        for (int r = 0; r < 16; ++r) {
            bits << QString::number(kStatus >> r & 1);
        }
        return bits;
    }

    CSimProcess m_sim;
    CFakePortTree m_tree;
    CMessageBoxRecorder m_boxes;
    CMyPropertySheet m_sheet;
    CReadPropertyPage* m_pPage = nullptr;
};

TEST_F(ReadPageSimTest, TheRowsShowTheSimulatedUnitsValues) {
    Connect({"--static", "--quiet", "--status", "0x4A53"});

    Press(IDC_READ03AI);
    ASSERT_EQ(m_pPage->m_List.GetItemCount(), CSimUnit::kAnalogCount);
    const QStringList values = Column(2);
    for (int i = 0; i < CSimUnit::kAnalogCount; ++i) {
        // The unit rounds value to a register and the page scales it back: a
        // step of 500/32767 is far below the one decimal shown.
        EXPECT_EQ(values[i], QString::asprintf("%5.1f", CSimUnit::NominalValue(i))) << i;
    }
    EXPECT_EQ(Column(1)[4], QString::fromUtf16(u"控制母线电压"));
    EXPECT_EQ(Column(3)[4], "A");

    Press(IDC_READ01DI);
    EXPECT_EQ(Column(2), StatusBits());
    EXPECT_EQ(Column(1)[0], QString::fromUtf16(u"系统运行方式"));
    const QString coilReply = Q(m_pPage->m_RecvEdit.GetWindowText());
    EXPECT_TRUE(coilReply.startsWith("01 01 02 53 4A ")) << coilReply.toStdString();

    Press(IDC_READ03DI);
    EXPECT_EQ(Column(2), StatusBits());
    EXPECT_TRUE(Q(m_pPage->m_RecvEdit.GetWindowText()).startsWith("01 03 02 4A 53 "));
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(ReadPageSimTest, Com1FindsTheAdapterWithoutTheVariable) {
    ConnectAsAdapter({"--static", "--quiet", "--status", "0x4A53"});
    Press(IDC_READ01DI);
    EXPECT_EQ(Column(2), StatusBits());
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(ReadPageSimTest, RepliesInPiecesAfterJunkStillFillTheList) {
    Connect({"--static", "--quiet", "--status", "0x4A53", "--fault", "split", "--fault", "noise"});
    Press(IDC_READ01DI);
    EXPECT_EQ(Column(2), StatusBits());
    Press(IDC_READ03AI);
    EXPECT_EQ(Column(2)[0], QString::asprintf("%5.1f", CSimUnit::NominalValue(0)));
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(ReadPageSimTest, ABusyUnitIsReportedWithItsExceptionCode) {
    Connect({"--static", "--quiet", "--fault", "exception:100"});
    Press(IDC_READ03AI);
    EXPECT_EQ(m_boxes.Texts(), Strings{"RTU异常应答!\n异常码 06：从站设备忙"});
    EXPECT_EQ(m_boxes.Boxes()[0].type, MB_ICONSTOP);
    EXPECT_EQ(m_pPage->m_List.GetItemCount(), 0);
}

// COM1 named "tcp://127.0.0.1:PORT" reaches the simulator as a serial device
// server: the button's tooltip shows the address and the reads work as on a line.
TEST_F(ReadPageSimTest, Com1ThroughASerialDeviceServer) {
    Connect({"--listen", "127.0.0.1:0", "--static", "--quiet", "--status", "0x4A53"});
    ASSERT_EQ(m_sim.Path().rfind("tcp://127.0.0.1:", 0), 0u);
    EXPECT_EQ(WidgetOf(m_sheet.GetPage(0)->GetDlgItem(IDC_COM1))->toolTip(),
              QString::fromStdString(m_sim.Path()));
    Press(IDC_READ03AI);
    ASSERT_EQ(m_pPage->m_List.GetItemCount(), CSimUnit::kAnalogCount);
    EXPECT_EQ(Column(2)[0], QString::asprintf("%5.1f", CSimUnit::NominalValue(0)));
    Press(IDC_READ01DI);
    EXPECT_EQ(Column(2), StatusBits());
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

// COM1 named "mbtcp://127.0.0.1:PORT" speaks Modbus TCP: the hex boxes show
// the whole MBAP frames (transaction id, protocol 0, length, unit, PDU), and
// the list is filled as from a serial line.
TEST_F(ReadPageSimTest, Com1ThroughAModbusTcpDevice) {
    Connect({"--listen-mbtcp", "127.0.0.1:0", "--static", "--quiet", "--status", "0x4A53"});
    ASSERT_EQ(m_sim.Path().rfind("mbtcp://127.0.0.1:", 0), 0u);
    Press(IDC_READ03DI);
    EXPECT_EQ(Column(2), StatusBits());
    const QString sent = Q(m_pPage->m_SendEdit.GetWindowText());
    // Ten bytes a line in the receive box.
    const QString received = Q(m_pPage->m_RecvEdit.GetWindowText()).simplified();
    EXPECT_EQ(sent.mid(6), "00 00 00 06 01 03 00 00 00 01 ") << sent.toStdString();
    EXPECT_EQ(received.left(6), sent.left(6)) << received.toStdString();
    EXPECT_TRUE(received.mid(6).startsWith("00 00 00 05 01 03 02 4A 53")) << received.toStdString();
    Press(IDC_READ03AI);
    ASSERT_EQ(m_pPage->m_List.GetItemCount(), CSimUnit::kAnalogCount);
    EXPECT_EQ(Column(2)[8], QString::asprintf("%5.1f", CSimUnit::NominalValue(8)));
    EXPECT_TRUE(m_boxes.Boxes().empty());
}

TEST_F(ReadPageSimTest, ARefusedConnectionFailsTheSetUp) {
    // The simulator's port once it has gone: nobody listens there.
    ASSERT_TRUE(m_sim.Start({"--listen", "127.0.0.1:0", "--quiet"}));
    const std::string gone = m_sim.Path();
    ASSERT_EQ(m_sim.Stop(), 0);
    SetEnv("K40_COM1", gone.c_str());
    ResetTheComm();
    m_sheet.Create();
    ClickButton(m_sheet.GetActivePage()->GetDlgItem(IDC_SET));
    EXPECT_EQ(m_boxes.Texts(), Strings{"串口初始化失败!"});
    EXPECT_FALSE(theComm.IsOpen());
}

}  // namespace
