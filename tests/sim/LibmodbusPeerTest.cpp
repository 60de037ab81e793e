// The program's link layer as the master against a slave built on libmodbus,
// an independent implementation, over a pseudo-terminal: libmodbus serves the
// terminal's master side, the link opens its other side like a serial port.
#include <modbus.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "tests/sim/LinkMaster.h"
#include "tests/support/TestPty.h"

namespace {

class LibmodbusSlave : public ::testing::Test {
protected:
    void SetUp() override {
        // The slave side stays held for the whole test, so that the master
        // side never sees a hang-up while the link closes and opens its side.
        ASSERT_TRUE(m_pty.IsValid());

        // The device name is not opened: libmodbus gets the descriptor itself.
        m_ctx = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
        ASSERT_NE(m_ctx, nullptr);
        ASSERT_EQ(modbus_set_slave(m_ctx, 1), 0);
        ASSERT_EQ(modbus_set_socket(m_ctx, m_pty.Master()), 0);
        ASSERT_EQ(modbus_set_indication_timeout(m_ctx, 0, 50000), 0);  // to see m_stop
        // Coils 0..299 and holding registers 0..399; nothing beyond.
        m_map = modbus_mapping_new_start_address(0, 300, 0, 0, 0, 400, 0, 0);
        ASSERT_NE(m_map, nullptr);
        m_map->tab_bits[3] = 1;
        m_map->tab_registers[100] = 47184;
        m_map->tab_registers[108] = 34405;
        m_server = std::thread([this] { Serve(); });
    }

    void TearDown() override {
        m_stop = true;
        if (m_server.joinable()) {
            m_server.join();
        }
        if (m_map != nullptr) {
            modbus_mapping_free(m_map);
        }
        if (m_ctx != nullptr) {
            modbus_free(m_ctx);  // leaves the descriptor alone
        }
    }

    void Serve() {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!m_stop) {
            const int n = modbus_receive(m_ctx, query);
            if (n > 0) {
                modbus_reply(m_ctx, query, n, m_map);
            }
        }
    }

    CTestPty m_pty;
    modbus_t* m_ctx = nullptr;
    modbus_mapping_t* m_map = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_server;
};

}  // namespace

TEST_F(LibmodbusSlave, RepliesToEveryRequestOfTheProgramAreAccepted) {
    CLinkMaster master(m_pty.Path());
    ASSERT_TRUE(master.Open());

    ExchangeResult r = master.Run(0x01, 0, 15);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(master.Reply(r), WithCrc({1, 1, 2, 0x08, 0x00}));

    r = master.Run(0x03, 100, 9, ExchangeVariant::QuietRead);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    ASSERT_EQ(r.replyLength, 23);
    Bytes reply = master.Reply(r);
    EXPECT_EQ(reply[3] << 8 | reply[4], 47184);
    EXPECT_EQ(reply[19] << 8 | reply[20], 34405);

    r = master.Run(0x05, 200, 0xFF00, ExchangeVariant::SystemCommand);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(master.Reply(r), Request(1, 5, 200, 0xFF00));
    EXPECT_EQ(m_map->tab_bits[200], 1);

    r = master.Run(0x06, 310, 48103, ExchangeVariant::PurgingModuleCommand);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(m_map->tab_registers[310], 48103);

    r = master.Run(0x06, 312, 0xFF00, ExchangeVariant::ModuleCommand);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(m_map->tab_registers[312], 0xFF00);

    r = master.Run(0x03, 0, 1);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(master.Reply(r), WithCrc({1, 3, 2, 0x00, 0x00}));
}

TEST_F(LibmodbusSlave, ExceptionForAnUnmappedAddressComesBackAsException) {
    CLinkMaster master(m_pty.Path());
    ASSERT_TRUE(master.Open());
    ExchangeResult r = master.Run(0x03, 1000, 1);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Exception);
    EXPECT_EQ(r.exceptionCode, 0x02);
    EXPECT_EQ(master.Reply(r), WithCrc({1, 0x83, 0x02}));
    r = master.Run(0x05, 300, 0xFF00, ExchangeVariant::SystemCommand);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Exception);
    EXPECT_EQ(r.exceptionCode, 0x02);
}

TEST_F(LibmodbusSlave, ReplyForAnotherSlaveIsNotTaken) {
    CLinkMaster master(m_pty.Path(), 150);
    master.Comm().m_nSlaveAddr = 9;  // libmodbus serves address 1 only
    ASSERT_TRUE(master.Open());
    EXPECT_EQ(master.Run(0x03, 0, 1).outcome, ExchangeOutcome::Timeout);
}
