#include <gtest/gtest.h>

#include "link/HexEcho.h"
#include "support/FakeSerial.h"

TEST(HexEcho, SendTextHasNoBreaks) {
    const Bytes req = {0x01, 0x03, 0x00, 0x64, 0x00, 0x09, 0xC4, 0x13};
    EXPECT_EQ(HexEchoSendText(req.data(), 8), "01 03 00 64 00 09 C4 13 ");
    EXPECT_EQ(HexEchoSendText(req.data(), 0), "");
    EXPECT_EQ(HexEchoSendText(req.data(), -1), "");
}

TEST(HexEcho, ReceiveTextBreaksAfterEveryTenthByte) {
    const Bytes seven = {0x01, 0x03, 0x02, 0x00, 0x05, 0x78, 0x47};
    EXPECT_EQ(HexEchoRecvText(seven.data(), 7), "01 03 02 00 05 78 47 ");

    Bytes many(250);
    for (int i = 0; i < 250; ++i) {
        many[i] = static_cast<std::uint8_t>(i);
    }
    EXPECT_EQ(HexEchoRecvText(many.data(), 23),
              "00 01 02 03 04 05 06 07 08 09 \r\n0A 0B 0C 0D 0E 0F 10 11 12 13 \r\n14 15 16 ");
    EXPECT_EQ(HexEchoRecvText(many.data(), 10), "00 01 02 03 04 05 06 07 08 09 \r\n");

    // 250 bytes: only the first 200 are shown, as 20 lines that all end in CR LF.
    const std::string text = HexEchoRecvText(many.data(), 250);
    EXPECT_EQ(text.size(), 640u);
    int lines = 0;
    for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) {
        ++lines;
    }
    EXPECT_EQ(lines, 20);
    EXPECT_EQ(text.substr(text.size() - 5), "C7 \r\n");
    EXPECT_EQ(HexEchoSendText(many.data(), 250).size(), 600u);
}
