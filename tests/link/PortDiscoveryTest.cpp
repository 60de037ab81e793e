// Port discovery on temporary trees standing in for /dev and /sys: the order
// of COMn, which on-board ports count, and the details read from sysfs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "link/PortDiscovery.h"
#include "link/PortOrder.h"
#include "link/posix/TermiosDevice.h"
#include "tests/support/FakePortTree.h"

namespace {

const CFakePortTree::Usb kFtdi = {"0403",     "6001",    "FTDI", "FT232R USB UART",
                                  "A10K3XYZ", "ftdi_sio"};
const CFakePortTree::Usb kCh340 = {"1a86", "7523", "", "USB Serial", "", "ch341-uart"};
const CFakePortTree::Usb kAcm = {"2e8a", "000a", "Raspberry Pi", "Pico", "E66038B7", "cdc_acm"};

class PortDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_tree.IsValid());
        ::unsetenv("K40_COM1");
        ::unsetenv("K40_COM2");
    }
    void TearDown() override {
        ::unsetenv("K40_COM1");
        ::unsetenv("K40_COM2");
    }
    std::string Dev(const std::string& name) const { return m_tree.Dev() + "/" + name; }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const SerialPortInfo& info : DiscoverSerialPorts(m_tree.Dev(), m_tree.Sys())) {
            paths.push_back(info.path);
        }
        return paths;
    }
    std::string Com(int port) const { return ResolveComPort(port, m_tree.Dev(), m_tree.Sys()); }

    CFakePortTree m_tree;
};

TEST_F(PortDiscoveryTest, NoPortsFallsBackToTheOnBoardNames) {
    m_tree.AddUart("ttyS0", 0);  // the usual laptop: nodes with no UART behind them
    m_tree.AddUart("ttyS1", 0);
    m_tree.AddNode("tty0");
    m_tree.AddNode("ttyprintk");
    EXPECT_TRUE(Paths().empty());
    EXPECT_EQ(Com(0), Dev("ttyS0"));
    EXPECT_EQ(Com(1), Dev("ttyS1"));
    EXPECT_EQ(Com(-1), "");  // no port button selected
    EXPECT_TRUE(DiscoverSerialPorts("/nonexistent/dev", "/nonexistent/sys").empty());
}

TEST_F(PortDiscoveryTest, OneUsbAdapterIsCom1WithItsDetails) {
    m_tree.AddUart("ttyS0", 0);
    m_tree.AddNode("ttyUSB0");
    m_tree.AddUsbDetails("ttyUSB0", kFtdi);
    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts(m_tree.Dev(), m_tree.Sys());
    ASSERT_EQ(ports.size(), 1u);
    const SerialPortInfo& p = ports[0];
    EXPECT_EQ(p.path, Dev("ttyUSB0"));
    EXPECT_EQ(p.byId, Dev("serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0"));
    EXPECT_EQ(p.vendorId + ":" + p.productId, "0403:6001");
    EXPECT_EQ(p.manufacturer, "FTDI");
    EXPECT_EQ(p.product, "FT232R USB UART");
    EXPECT_EQ(p.serial, "A10K3XYZ");
    EXPECT_EQ(p.driver, "ftdi_sio");
    EXPECT_EQ(DescribeSerialPort(p), Dev("ttyUSB0") + ": FTDI FT232R USB UART, serial A10K3XYZ");

    EXPECT_EQ(Com(0), Dev("ttyUSB0"));
    EXPECT_EQ(Com(1), Dev("ttyS1"));  // fewer ports than COM2: fails to open as before
    EXPECT_EQ(DescribeComPort(1, m_tree.Dev(), m_tree.Sys()), Dev("ttyS1"));

    // The variable still wins; named by its by-id link it keeps the details.
    ::setenv("K40_COM1", p.byId.c_str(), 1);
    EXPECT_EQ(Com(0), p.byId);
    EXPECT_EQ(DescribeComPort(0, m_tree.Dev(), m_tree.Sys()),
              p.byId + ": FTDI FT232R USB UART, serial A10K3XYZ");
    ::setenv("K40_COM2", "/dev/ttyS7", 1);
    EXPECT_EQ(Com(1), "/dev/ttyS7");
}

TEST_F(PortDiscoveryTest, UsbThenAcmThenRealUartsEachByNumber) {
    m_tree.AddUart("ttyS0", 0);
    m_tree.AddUart("ttyS1", 4);  // a 16550A on the board
    m_tree.AddNode("ttyS2");     // no sysfs entry: no hardware known
    m_tree.AddNode("ttyACM0");
    m_tree.AddUsbDetails("ttyACM0", kAcm);
    m_tree.AddNode("ttyUSB10");
    m_tree.AddNode("ttyUSB2");  // made by hand, no sysfs details: still a port
    m_tree.AddNode("ttyUSB");
    m_tree.AddNode("ttyUSB1x");
    m_tree.AddUsbDetails("ttyUSB10", kCh340);
    EXPECT_EQ(Paths(), (std::vector<std::string>{Dev("ttyUSB2"), Dev("ttyUSB10"), Dev("ttyACM0"),
                                                 Dev("ttyS1")}));
    EXPECT_EQ(Com(0), Dev("ttyUSB2"));
    EXPECT_EQ(Com(1), Dev("ttyUSB10"));

    const std::vector<SerialPortInfo> ports = DiscoverSerialPorts(m_tree.Dev(), m_tree.Sys());
    const std::string descriptions[] = {
        Dev("ttyUSB2"),
        Dev("ttyUSB10") + ": USB Serial",
        Dev("ttyACM0") + ": Raspberry Pi Pico, serial E66038B7",
        Dev("ttyS1"),
    };
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(DescribeSerialPort(ports[i]), descriptions[i]) << i;
    }
    EXPECT_EQ(ports[2].driver, "cdc_acm");
    EXPECT_EQ(ports[2].vendorId, "2e8a");
    EXPECT_EQ(ports[1].byId, Dev("serial/by-id/usb-_USB_Serial_-if00-port0"));
    EXPECT_EQ(ports[0].byId, "");
}

// The ports object resolves at every call: an adapter plugged in later is found.
TEST_F(PortDiscoveryTest, ThePortsFollowAdaptersPluggedInLater) {
    CTermiosPorts ports(m_tree.Dev(), m_tree.Sys());
    EXPECT_EQ(ports.PortPath(0), Dev("ttyS0"));
    m_tree.AddNode("ttyUSB0");
    m_tree.AddUsbDetails("ttyUSB0", kFtdi);
    EXPECT_EQ(ports.PortPath(0), Dev("ttyUSB0"));
    EXPECT_EQ(ports.PortDescription(0), Dev("ttyUSB0") + ": FTDI FT232R USB UART, serial A10K3XYZ");
}

}  // namespace

// COMn names past COM9 are port names too; anything else is a path.
TEST(ComPortNumber, NamesThatAreComPorts) {
    const std::pair<const char*, int> cases[] = {{"COM1", 1},     {"COM9", 9},    {"COM10", 10},
                                                 {"COM999", 999}, {"COM1000", 0}, {"COM0", 0},
                                                 {"COM01", 0},    {"COM", 0},     {"com1", 0},
                                                 {"COM1x", 0},    {"COM-1", 0},   {"/dev/COM1", 0}};
    for (const auto& [name, number] : cases) {
        EXPECT_EQ(ComPortNumber(name), number) << name;
    }
}
