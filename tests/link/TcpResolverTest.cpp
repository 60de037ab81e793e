// What the name look-up hands to the connect: the address's bytes in network
// order, the port and an IPv6 zone, from the system's own parser; and a name
// from the hosts file.
#include <gtest/gtest.h>

#include "link/TcpResolver.h"
#include "link/TcpSocket.h"

namespace {

using Bytes = std::array<std::uint8_t, 16>;

TEST(TcpResolver, AnAddressInDigitsKeepsItsBytesPortAndZone) {
    int error = 0;
    ASSERT_TRUE(StartSockets(error)) << error;
    struct Case {
        const char* host;
        std::uint16_t port;
        bool v6;
        Bytes bytes;
        std::uint32_t scope;
    };
    const Case cases[] = {
        {"192.0.2.7", 502, false, {192, 0, 2, 7}, 0},
        {"127.0.0.1", 65535, false, {127, 0, 0, 1}, 0},
        {"::1", 4001, true, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0},
        {"2001:db8::a:7", 1, true, {0x20, 1, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 7}, 0},
        {"fe80::1%3", 502, true, {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 3},
    };
    for (const Case& c : cases) {
        std::vector<ResolvedAddress> found;
        std::string reason;
        ASSERT_TRUE(ResolveTcp(c.host, c.port, 1000, found, reason)) << c.host << ": " << reason;
        ASSERT_EQ(found.size(), 1u) << c.host;
        EXPECT_EQ(found[0].v6, c.v6) << c.host;
        EXPECT_EQ(found[0].bytes, c.bytes) << c.host;
        EXPECT_EQ(found[0].port, c.port) << c.host;
        EXPECT_EQ(found[0].scope, c.scope) << c.host;
    }
}

TEST(TcpResolver, LocalhostIsALoopbackAddress) {
    int error = 0;
    ASSERT_TRUE(StartSockets(error)) << error;
    std::vector<ResolvedAddress> found;
    std::string reason;
    ASSERT_TRUE(ResolveTcp("localhost", 5020, 1000, found, reason)) << reason;
    const Bytes v4{127, 0, 0, 1};
    const Bytes v6{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    ASSERT_FALSE(found.empty());
    for (const ResolvedAddress& a : found) {
        EXPECT_EQ(a.bytes, a.v6 ? v6 : v4);
        EXPECT_EQ(a.port, 5020);
        EXPECT_EQ(a.scope, 0u);
    }
}

}  // namespace
