#include <gtest/gtest.h>

#include "link/ModbusComm.h"
#include "link/CrcTables.h"

TEST(Crc16, CheckValue) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(CModbusComm::Crc16(digits, 9), 0x374B);
    EXPECT_EQ(CModbusComm::Crc16(digits, 0), 0xFFFF);
}
