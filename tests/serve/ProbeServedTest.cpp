// The probe never reaches what serve itself polls, and off loopback nothing
// it was not told: the served unit by any spelling or path, and no loopback
// default for whoever reaches a network listen.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "serve/ProbeTargets.h"

namespace {

// The unit serve polls is never probed as well, however its address is
// spelled: a device server that takes one client would drop the poller.
TEST(ProbeRules, TheServedUnitUnderAnySpellingIsRefused) {
    for (const char* served : {"tcp://127.0.0.1:15021", "tcp://localhost:15021"}) {
        ProbeRules rules;
        SetServedPort(served, 2000, &rules);
        const struct {
            const char* target;
            bool refused;
        } cases[] = {
            {"tcp://127.0.0.1:15021", true},   {"tcp://localhost:15021", true},
            {"tcp://127.1:15021", true},       {"tcp://2130706433:15021", true},
            {"mbtcp://127.0.0.1:15021", true}, {"tcp://[::ffff:127.0.0.1]:15021", true},
            {"tcp://127.0.0.1:15022", false},  {"tcp://127.0.0.2:15021", false},
        };
        for (const auto& c : cases) {
            ProbeTarget target;
            std::string why;
            std::vector<std::string> connectTo;
            bool refused = false;
            const TargetVerdict verdict = ParseProbeTarget(c.target, rules, &target, &why);
            const bool passed = verdict != TargetVerdict::Refused &&
                                ResolveProbeTarget(rules, target, 2000, &connectTo, &why, &refused);
            EXPECT_EQ(!passed, c.refused) << served << " " << c.target << ": " << why;
            if (c.refused) {
                EXPECT_NE(why.find("the unit this serve polls"), std::string::npos) << why;
            }
        }
    }
}

// Listening beyond loopback, the loopback default is gone: only what
// --probe-target allows is probed.
TEST(ProbeRules, NoLoopbackDefaultOffLoopback) {
    ProbeRules rules;
    rules.loopbackByDefault = false;
    ProbeTarget target;
    std::string why;
    ASSERT_TRUE(AddProbePort("/dev/ttyUSB1", &rules, &why)) << why;
    for (const char* t : {"tcp://127.0.0.1:22", "tcp://localhost:22", "mbtcp://[::1]:502"}) {
        EXPECT_EQ(ParseProbeTarget(t, rules, &target, &why), TargetVerdict::Refused) << t;
    }
    EXPECT_EQ(ParseProbeTarget("/dev/ttyUSB1", rules, &target, &why), TargetVerdict::Allowed);
}

#ifndef _WIN32
// A --probe-port is the served port when it opens the same device, by
// whatever path.
TEST(ProbeRules, TheServedSerialDeviceUnderAnyPathIsRefused) {
    const std::string link = ::testing::TempDir() + "k40-probe-link";
    std::remove(link.c_str());
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
    const struct {
        std::string port;
        bool ok;
    } cases[] = {{link, false}, {"/dev/./null", false}, {"/dev/../dev/null", false},
                 {"/dev/zero", true}};
    for (const auto& c : cases) {
        ProbeRules rules;
        SetServedPort("/dev/null", 0, &rules);
        std::string why;
        EXPECT_EQ(AddProbePort(c.port, &rules, &why), c.ok) << c.port << ": " << why;
    }
    std::remove(link.c_str());
}
#endif

}  // namespace
