// What serve writes of its clients: bytes they chose escaped, and the audit
// line of a command with the client and never the token.
#include "serve/ServeLog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ServeLog, EscapesEveryByteThatCouldForgeOrGarbleALine) {
    const struct {
        std::string text, logged;
    } cases[] = {
        {"Host \"h:1\" is not", "Host \"h:1\" is not"},
        {"a\nk40ctl: audit forged", "a\\x0ak40ctl: audit forged"},
        {"\x1b[2J\r", "\\x1b[2J\\x0d"},
        {"\x80\xff\xc3\xa9", "\\x80\\xff\\xc3\\xa9"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"C:\\x41", "C:\\x5cx41"},  // a backslash of its own cannot pass for an escape
        {"\x7f", "\\x7f"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogEscaped(c.text), c.logged);
    }
}

TEST(ServeLog, AuditLineNamesClientTokenCommandAndOutcome) {
    const long long t = 1796778123;  // 2026-12-09T01:02:03Z
    EXPECT_EQ(AuditLine({"192.0.2.7", true, "manual", "confirmed"}, t),
              "k40ctl: audit 2026-12-09T01:02:03Z 192.0.2.7 token=yes command manual: confirmed");
    EXPECT_EQ(AuditLine({"::1", false, "", "refused (content-type)"}, t),
              "k40ctl: audit 2026-12-09T01:02:03Z ::1 token=no command -: refused (content-type)");
    EXPECT_EQ(AuditLine({"::1", false, "module 3\nvoltage", "no-reply"}, t),
              "k40ctl: audit 2026-12-09T01:02:03Z ::1 token=no command module 3\\x0avoltage: "
              "no-reply");
}

}  // namespace
