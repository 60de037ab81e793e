// The probe's rules: which addresses, names and serial ports a request may
// make the exporter open. A fault here turns the exporter into a port
// scanner, so the edges of every block and spelling are in the tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/SerialDevice.h"
#include "serve/ProbeTargets.h"

namespace {

IpAddress Ip(const std::string& text) {
    IpAddress ip;
    EXPECT_TRUE(ParseIpAddress(text, &ip)) << text;
    return ip;
}

ProbeRules Rules(const std::vector<std::string>& targets,
                 const std::vector<std::string>& ports = {}, const std::string& served = "") {
    ProbeRules rules;
    rules.servedPort = served;
    std::string why;
    for (const std::string& option : targets) {
        EXPECT_TRUE(AddProbeTarget(option, &rules, &why)) << option << ": " << why;
    }
    for (const std::string& port : ports) {
        EXPECT_TRUE(AddProbePort(port, &rules, &why)) << port << ": " << why;
    }
    return rules;
}

TEST(IpAddressText, ParsesStrictlyAndFormatsTheShortForm) {
    struct Case {
        const char* text;
        bool ok;
        const char* shown;
    };
    const Case cases[] = {
        {"192.0.2.7", true, "192.0.2.7"},
        {"0.0.0.0", true, "0.0.0.0"},
        {"255.255.255.255", true, "255.255.255.255"},
        {"256.0.0.1", false, ""},
        {"01.2.3.4", false, ""},  // octal elsewhere
        {"127.1", false, ""},
        {"2130706433", false, ""},
        {"1.2.3.4.5", false, ""},
        {"1.2.3.", false, ""},
        {"", false, ""},
        {"::1", true, "::1"},
        {"::", true, "::"},
        {"0:0:0:0:0:0:0:1", true, "::1"},
        {"2001:DB8:0:0:1:0:0:1", true, "2001:db8::1:0:0:1"},
        {"1:0:0:2:0:0:0:3", true, "1:0:0:2::3"},
        {"1:0:2:3:4:5:6:7", true, "1:0:2:3:4:5:6:7"},  // one zero group stays
        {"fd00::7", true, "fd00::7"},
        {"1:2:3:4:5:6:1.2.3.4", true, "1:2:3:4:5:6:102:304"},
        {"::ffff:192.0.2.1", true, "192.0.2.1"},  // mapped: the IPv4 address
        {"::ffff:c000:201", true, "192.0.2.1"},
        {"::fffe:c000:201", true, "::fffe:c000:201"},
        {"1:2:3:4:5:6:7:8:9", false, ""},
        {"1:2:3:4:5:6:7", false, ""},
        {"1::2::3", false, ""},
        {"1:::2", false, ""},
        {":1::", false, ""},
        {"12345::", false, ""},
        {"::ffff:1.2.3", false, ""},
        {"1.2.3.4::", false, ""},
        {"fe80::1%2", false, ""},
        {"[::1]", false, ""},
        {"g::1", false, ""},
    };
    for (const Case& c : cases) {
        IpAddress ip;
        ASSERT_EQ(ParseIpAddress(c.text, &ip), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(FormatIpAddress(ip), c.shown) << c.text;
        }
    }
    IpAddress scoped = Ip("fe80::1");
    scoped.scope = 3;
    EXPECT_EQ(FormatIpAddress(scoped), "fe80::1%3");
}

// The server's per-client limit: one IPv6 host may use any address of its /64.
TEST(IpAddressText, ClientsCountByAddressAndIpv6By64) {
    const struct {
        const char* address;
        const char* block;
    } cases[] = {
        {"192.0.2.7", "192.0.2.7"},
        {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:db8:1:2::/64"},
        {"2001:db8:1:2::1", "2001:db8:1:2::/64"},
        {"::1", "::/64"},
        {"a client", "a client"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClientBlock(c.address), c.block) << c.address;
    }
}

TEST(ProbeRules, AllowAddressesByBlockHostAndPort) {
    struct Case {
        std::vector<std::string> rules;
        const char* address;
        int port;
        bool allowed;
    };
    const Case cases[] = {
        // No --probe-target: this host only.
        {{}, "127.0.0.1", 502, true},
        {{}, "127.255.255.255", 1, true},
        {{}, "128.0.0.1", 502, false},
        {{}, "126.255.255.255", 502, false},
        {{}, "::1", 502, true},
        {{}, "::2", 502, false},
        {{}, "::ffff:127.0.0.1", 502, true},
        {{}, "0.0.0.0", 502, false},  // "this host" to connect(): not a loopback rule
        {{}, "::", 502, false},
        {{}, "192.0.2.1", 502, false},
        // A block: every port of every address in it, nothing else (no loopback).
        {{"192.0.2.0/24"}, "192.0.2.0", 4001, true},
        {{"192.0.2.0/24"}, "192.0.2.255", 1, true},
        {{"192.0.2.0/24"}, "192.0.3.0", 4001, false},
        {{"192.0.2.0/24"}, "192.0.1.255", 4001, false},
        {{"192.0.2.0/24"}, "127.0.0.1", 4001, false},
        {{"192.0.2.0/24"}, "::ffff:192.0.2.9", 4001, true},
        {{"192.0.2.77/24"}, "192.0.2.1", 4001, true},  // cut to the prefix
        {{"192.0.2.7/32"}, "192.0.2.8", 4001, false},
        {{"0.0.0.0/0"}, "203.0.113.1", 4001, true},
        {{"0.0.0.0/0"}, "::1", 4001, false},
        {{"fd00::/8"}, "fd00::1", 502, true},
        {{"fd00::/8"}, "fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", 502, true},
        {{"fd00::/8"}, "fe00::1", 502, false},
        {{"fd00::/8"}, "fc00::1", 502, false},
        {{"fe80::/10"}, "febf::1", 502, true},
        {{"fe80::/10"}, "fec0::1", 502, false},
        {{"::ffff:192.0.2.0/120"}, "192.0.2.200", 502, true},
        {{"::ffff:192.0.2.0/120"}, "192.0.3.1", 502, false},
        // A host: any port, or only the one given.
        {{"192.0.2.7"}, "192.0.2.7", 65535, true},
        {{"192.0.2.7"}, "192.0.2.8", 502, false},
        {{"192.0.2.7:4001"}, "192.0.2.7", 4001, true},
        {{"192.0.2.7:4001"}, "192.0.2.7", 4002, false},
        {{"::ffff:192.0.2.7"}, "192.0.2.7", 502, true},
        {{"fd00::7"}, "fd00::7", 1, true},
        {{"[fd00::7]"}, "fd00::7", 1, true},
        {{"[fd00::7]:502"}, "fd00::7", 502, true},
        {{"[fd00::7]:502"}, "fd00::7", 503, false},
        {{"[fd00::7]:502"}, "fd00::8", 502, false},
        // Names allow names: they open no address by themselves (no loopback either).
        {{"unit7.plant"}, "127.0.0.1", 502, false},
        {{"unit7.plant", "192.0.2.7"}, "192.0.2.7", 502, true},
    };
    for (const Case& c : cases) {
        const ProbeRules rules = Rules(c.rules);
        EXPECT_EQ(AddressAllowed(rules, Ip(c.address), static_cast<std::uint16_t>(c.port)),
                  c.allowed)
            << (c.rules.empty() ? std::string("(none)") : c.rules[0]) << " " << c.address << ":"
            << c.port;
    }
}

TEST(ProbeRules, RefuseMalformedTargetsWithTheReason) {
    const char* const malformed[] = {
        "",
        "192.0.2.0/33",
        "fd00::/129",
        "192.0.2.0/",
        "/8",
        "192.0.2.0/x",
        "01.2.3.0/24",
        "unit7/8",
        "host:0",
        "host:65536",
        "host:x",
        "fe80::1%eth0",
        "[fe80::1%eth0]:502",
        "[::1",
        "[::1]:",
        "bad host!",
        "127.1",
        "0177.0.0.1",
        "1.2.3.4:",
        "[unit7]:502",
    };
    for (const char* option : malformed) {
        ProbeRules rules;
        std::string why;
        EXPECT_FALSE(AddProbeTarget(option, &rules, &why)) << option;
        EXPECT_NE(why.find("--probe-target"), std::string::npos) << option << ": " << why;
        EXPECT_TRUE(rules.blocks.empty() && rules.names.empty()) << option;
    }
}

TEST(ProbeRules, SerialPortsOnlyWhenListedAndNeverTheServedOne) {
    struct Case {
        const char* served;
        std::string port;
        bool ok;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", "/dev/ttyUSB1", true},
        {"/dev/ttyUSB0", "/dev/ttyUSB0", false},
        {"COM1", ResolvePortName("COM1"), false},  // the same device by another name
        {"/dev/ttyUSB0", "tcp://127.0.0.1:5020", false},
        {"/dev/ttyUSB0", "mbtcp://127.0.0.1", false},
        {"/dev/ttyUSB0", "", false},
    };
    for (const Case& c : cases) {
        ProbeRules rules;
        rules.servedPort = c.served;
        std::string why;
        EXPECT_EQ(AddProbePort(c.port, &rules, &why), c.ok) << c.port;
        EXPECT_EQ(rules.serialPorts.size(), c.ok ? 1u : 0u) << c.port;
        if (!c.ok) {
            EXPECT_NE(why.find("--probe-port"), std::string::npos) << why;
        }
    }
    ProbeRules rules;
    rules.servedPort = "/dev/ttyUSB0";
    std::string why;
    ASSERT_FALSE(AddProbePort("/dev/ttyUSB0", &rules, &why));
    EXPECT_NE(why.find("--port /dev/ttyUSB0"), std::string::npos) << why;
}

TEST(ProbeRules, JudgeRequestedTargetsBeforeAnyLookup) {
    struct Case {
        ProbeRules rules;
        std::string target;
        TargetVerdict verdict;
        ProbeKind kind;
        const char* line;
    };
    const auto A = TargetVerdict::Allowed;
    const auto R = TargetVerdict::Refused;
    const auto L = TargetVerdict::NeedsLookup;
    const auto Rtu = ProbeKind::RtuOverTcp;
    const auto Mb = ProbeKind::ModbusTcp;
    const auto Ser = ProbeKind::Serial;
    const Case cases[] = {
        {Rules({}), "tcp://127.0.0.1:5020", A, Rtu, "127.0.0.1:5020"},
        {Rules({}), "mbtcp://[::1]", A, Mb, "[::1]:502"},
        {Rules({}), "mbtcp://[::ffff:127.0.0.1]:5020", A, Mb, "127.0.0.1:5020"},
        {Rules({}), "tcp://192.0.2.1:502", R, Rtu, ""},
        {Rules({}), "tcp://localhost:5020", L, Rtu, "localhost:5020"},
        {Rules({}), "tcp://LocalHost:5020", L, Rtu, "localhost:5020"},
        {Rules({}), "tcp://127.0.0.1", R, Rtu, ""},
        {Rules({}), "tcp://127.0.0.1:0", R, Rtu, ""},
        {Rules({}), "http://127.0.0.1:80", R, Ser, ""},
        {Rules({}), "/dev/ttyUSB0", R, Ser, ""},
        {Rules({}), "", R, Ser, ""},
        {Rules({}), "tcp://127.0.0.1:5020" + std::string(300, '0'), R, Ser, ""},
        {Rules({}, {"/dev/ttyUSB0"}), "/dev/ttyUSB0", A, Ser, ""},
        {Rules({}, {"/dev/ttyUSB0"}), "/dev/ttyUSB1", R, Ser, ""},
        {Rules({}, {"/dev/ttyUSB0"}), "/dev/ttyUSB0 ", R, Ser, ""},
        {Rules({"unit7.plant:4001"}), "tcp://unit7.plant:4001", L, Rtu, "unit7.plant:4001"},
        {Rules({"unit7.plant:4001"}), "tcp://UNIT7.plant:4001", L, Rtu, "unit7.plant:4001"},
        {Rules({"unit7.plant:4001"}), "tcp://unit7.plant:4002", R, Rtu, ""},
        {Rules({"unit7.plant:4001"}), "tcp://unit8.plant:4001", R, Rtu, ""},
        {Rules({"unit7.plant:4001"}), "tcp://127.0.0.1:4001", R, Rtu, ""},
        {Rules({}, {}, "tcp://127.0.0.1:5020"), "tcp://127.0.0.1:5020", R, Rtu, ""},
        {Rules({}, {}, "tcp://127.0.0.1:5020"), "mbtcp://127.0.0.1:5020", R, Mb, ""},
        {Rules({}, {}, "tcp://127.0.0.1:5020"), "tcp://[::ffff:127.0.0.1]:5020", R, Rtu, ""},
        {Rules({}, {}, "tcp://127.0.0.1:5020"), "tcp://127.0.0.1:5021", A, Rtu, "127.0.0.1:5021"},
    };
    for (const Case& c : cases) {
        ProbeTarget target;
        std::string why;
        const TargetVerdict verdict = ParseProbeTarget(c.target, c.rules, &target, &why);
        ASSERT_EQ(static_cast<int>(verdict), static_cast<int>(c.verdict))
            << c.target << ": " << why;
        if (verdict == TargetVerdict::Refused) {
            EXPECT_FALSE(why.empty()) << c.target;
            continue;
        }
        EXPECT_EQ(static_cast<int>(target.kind), static_cast<int>(c.kind)) << c.target;
        EXPECT_EQ(target.given, c.target);
        if (c.kind != ProbeKind::Serial) {
            EXPECT_EQ(target.lineKey, c.line) << c.target;
        }
    }
    // Two spellings of one serial device share a line.
    ProbeTarget com, dev;
    std::string why;
    const ProbeRules both = Rules({}, {"COM2", ResolvePortName("COM2")});
    ASSERT_EQ(ParseProbeTarget("COM2", both, &com, &why), TargetVerdict::Allowed);
    ASSERT_EQ(ParseProbeTarget(ResolvePortName("COM2"), both, &dev, &why), TargetVerdict::Allowed);
    EXPECT_EQ(com.lineKey, dev.lineKey);
}

TEST(ProbeRules, EveryResolvedAddressMustPassAndOnlyNumbersAreConnectedTo) {
    struct Case {
        ProbeRules rules;
        const char* target;
        std::vector<std::string> resolved;
        std::vector<std::string> connectTo;  // empty: refused
    };
    const Case cases[] = {
        {Rules({}),
         "tcp://localhost:5020",
         {"127.0.0.1", "::1"},
         {"tcp://127.0.0.1:5020", "tcp://[::1]:5020"}},
        {Rules({}), "tcp://localhost:5020", {"127.0.0.1", "192.0.2.1"}, {}},
        {Rules({}), "tcp://localhost:5020", {"192.0.2.1", "127.0.0.1"}, {}},
        {Rules({}), "tcp://localhost:5020", {"127.0.0.1", "127.0.0.1"}, {"tcp://127.0.0.1:5020"}},
        {Rules({}), "mbtcp://localhost", {"::ffff:127.0.0.1"}, {"mbtcp://127.0.0.1:502"}},
        {Rules({}), "tcp://localhost:5020", {}, {}},
        {Rules({"127.0.0.2/32"}), "tcp://localhost:5020", {"127.0.0.1"}, {}},
        {Rules({"127.0.0.1:5021"}), "tcp://localhost:5020", {"127.0.0.1"}, {}},
        {Rules({"unit7.plant"}),
         "tcp://unit7.plant:4001",
         {"192.0.2.9", "fd00::9"},
         {"tcp://192.0.2.9:4001", "tcp://[fd00::9]:4001"}},
        {Rules({"unit7.plant:4001"}),
         "tcp://unit7.plant:4001",
         {"192.0.2.9"},
         {"tcp://192.0.2.9:4001"}},
        {Rules({"192.0.2.0/24"}),
         "tcp://unit8.plant:4001",
         {"192.0.2.10"},
         {"tcp://192.0.2.10:4001"}},
        {Rules({"192.0.2.0/24"}), "tcp://unit8.plant:4001", {"192.0.2.10", "198.51.100.1"}, {}},
    };
    for (const Case& c : cases) {
        ProbeTarget target;
        std::string why;
        ASSERT_NE(ParseProbeTarget(c.target, c.rules, &target, &why), TargetVerdict::Refused)
            << c.target << ": " << why;
        std::vector<IpAddress> resolved;
        for (const std::string& text : c.resolved) {
            resolved.push_back(Ip(text));
        }
        std::vector<std::string> connectTo{"stale"};
        const bool ok = CheckProbeAddresses(c.rules, target, resolved, &connectTo, &why);
        EXPECT_EQ(ok, !c.connectTo.empty()) << c.target << ": " << why;
        EXPECT_EQ(connectTo, c.connectTo) << c.target;
    }
    // A zone stays with a link-local address, in the form the link parses.
    ProbeTarget target;
    std::string why;
    const ProbeRules linkLocal = Rules({"fe80::/10"});
    ASSERT_EQ(ParseProbeTarget("tcp://[fe80::1%eth0]:4001", linkLocal, &target, &why),
              TargetVerdict::NeedsLookup);
    IpAddress scoped = Ip("fe80::1");
    scoped.scope = 2;
    std::vector<std::string> connectTo;
    ASSERT_TRUE(CheckProbeAddresses(linkLocal, target, {scoped}, &connectTo, &why)) << why;
    EXPECT_EQ(connectTo, std::vector<std::string>{"tcp://[fe80::1%2]:4001"});
    TcpAddress parsed;
    EXPECT_TRUE(ParseTcpPortName(connectTo[0], parsed, why)) << why;
}

TEST(ProbeRules, LookUpNamesAndRefuseWhatTheyResolveToOutsideTheRules) {
    ProbeTarget target;
    std::string why;
    std::vector<std::string> connectTo;
    bool refused = true;
    ASSERT_EQ(ParseProbeTarget("tcp://localhost:5020", Rules({}), &target, &why),
              TargetVerdict::NeedsLookup);
    ASSERT_TRUE(ResolveProbeTarget(Rules({}), target, 2000, &connectTo, &why, &refused)) << why;
    EXPECT_FALSE(refused);
    ASSERT_FALSE(connectTo.empty());
    for (const std::string& name : connectTo) {
        EXPECT_TRUE(name == "tcp://127.0.0.1:5020" || name == "tcp://[::1]:5020") << name;
    }
    const ProbeRules other = Rules({"127.0.0.2/32"});
    ASSERT_EQ(ParseProbeTarget("tcp://localhost:5020", other, &target, &why),
              TargetVerdict::NeedsLookup);
    EXPECT_FALSE(ResolveProbeTarget(other, target, 2000, &connectTo, &why, &refused));
    EXPECT_TRUE(refused);
    EXPECT_TRUE(connectTo.empty());
    EXPECT_NE(why.find("not an address this exporter may probe"), std::string::npos) << why;
}

}  // namespace
