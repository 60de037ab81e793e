// The checks the routes make, against tables of requests: which Host and
// Origin fields name this server (DNS rebinding), the bearer token, and the
// token file's own checks.
#include "serve/RequestGuard.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {

HttpRequest With(const std::string& host, const std::string& local = "127.0.0.1",
                 const std::string& origin = "") {
    HttpRequest r;
    r.host = host;
    r.localAddress = local;
    r.origin = origin;
    return r;
}

TEST(RequestGuard, HostMustNameTheServer) {
    const AllowedHosts v4 = MakeAllowedHosts("127.0.0.1", 9040, {"K40.example.net"});
    const AllowedHosts v6 = MakeAllowedHosts("::1", 9040, {});
    const AllowedHosts any4 = MakeAllowedHosts("0.0.0.0", 9040, {});
    const AllowedHosts any6 = MakeAllowedHosts("::", 9040, {"2001:db8::5"});
    const AllowedHosts web = MakeAllowedHosts("192.0.2.7", 80, {});
    const struct {
        const AllowedHosts& allowed;
        std::string host, local;
        bool ok;
    } cases[] = {
        {v4, "127.0.0.1:9040", "127.0.0.1", true},
        {v4, "localhost:9040", "127.0.0.1", true},
        {v4, "LocalHost:9040", "127.0.0.1", true},
        {v4, "k40.example.net:9040", "127.0.0.1", true},
        {v4, "127.0.0.1", "127.0.0.1", false},  // no port: 80
        {v4, "127.0.0.1:9041", "127.0.0.1", false},
        {v4, "127.0.0.1:09040x", "127.0.0.1", false},
        {v4, "evil.example.com:9040", "127.0.0.1", false},  // rebinding
        {v4, "localhost.:9040", "127.0.0.1", false},
        {v4, "127.0.0.1:9040@evil", "127.0.0.1", false},
        {v4, "", "127.0.0.1", false},
        {v6, "[::1]:9040", "::1", true},
        {v6, "localhost:9040", "::1", true},
        {v6, "::1:9040", "::1", false},
        {v6, "[::1]", "::1", false},
        {any4, "192.0.2.7:9040", "192.0.2.7", true},
        {any4, "192.0.2.8:9040", "192.0.2.7", false},
        {any4, "0.0.0.0:9040", "192.0.2.7", false},
        {any4, "localhost:9040", "127.0.0.1", true},
        {any4, "localhost:9040", "192.0.2.7", false},
        {any6, "[fe80::1]:9040", "FE80::1", true},
        {any6, "[2001:DB8::5]:9040", "::1", true},
        {any6, "[::]:9040", "::1", false},
        {web, "192.0.2.7", "192.0.2.7", true},
        {web, "192.0.2.7:80", "192.0.2.7", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HostAllowed(c.allowed, With(c.host, c.local)), c.ok)
            << c.allowed.listenHost << " " << c.host << " " << c.local;
    }
}

TEST(RequestGuard, OriginIsAbsentOrThisServer) {
    const AllowedHosts allowed = MakeAllowedHosts("127.0.0.1", 9040, {});
    const struct {
        std::string origin;
        bool ok;
    } cases[] = {
        {"", true},
        {"http://127.0.0.1:9040", true},
        {"HTTP://localhost:9040", true},
        {"null", false},
        {"https://127.0.0.1:9040", false},
        {"http://127.0.0.1:9040/", false},
        {"http://evil.example.com:9040", false},
        {"http://127.0.0.1", false},
        {"http://", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OriginAllowed(allowed, With("127.0.0.1:9040", "127.0.0.1", c.origin)), c.ok)
            << c.origin;
    }
}

TEST(RequestGuard, BearerToken) {
    const std::string token = "0123456789abcdef0123456789abcdef";
    const struct {
        std::string authorization, token;
        bool ok;
    } cases[] = {
        {"Bearer " + token, token, true},
        {"bearer " + token, token, true},
        {"BEARER   " + token, token, true},
        {"Bearer " + token + "0", token, false},
        {"Bearer " + token.substr(1), token, false},
        {"Bearer 1123456789abcdef0123456789abcdef", token, false},
        {"Basic " + token, token, false},
        {"Bearer" + token, token, false},
        {"Bearer ", token, false},
        {"", token, false},
        {"Bearer ", "", false},
        {"Bearer x", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BearerMatches(c.authorization, c.token), c.ok) << c.authorization;
    }
}

class TokenFile : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/k40token.XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
    }
    void TearDown() override { unlink(path_.c_str()); }
    void Write(const std::string& text, mode_t mode) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
        chmod(path_.c_str(), mode);
    }
    std::string path_;
};

TEST_F(TokenFile, TakesAStrongPrivateOneTrimmed) {
    const std::string hex32 = "3f9a0c71d2e84b65a7c1f0e9d3b25c84", hex31 = hex32.substr(1),
                      b64_22 = "aZ3kQ9xB7mN2pL5wR8tY1v";
    const struct {
        std::string text;
        mode_t mode;
        bool ok;
        std::string why;
    } cases[] = {
        {"\n  " + hex32 + " \r\n", 0600, true, ""},
        {hex31, 0600, false, path_ + ": the token is too weak"},
        {b64_22, 0400, true, ""},
        {b64_22.substr(1), 0600, false, path_ + ": the token is too weak"},
        {hex32, 0640, false, path_ + " is readable by others: chmod 600 " + path_},
        {hex32, 0604, false, path_ + " is readable by others: chmod 600 " + path_},
        {hex32, 0620, false, path_ + " is writable by others: chmod 600 " + path_},
        {std::string("\xFF\xFE", 2) + std::string("a\0", 2) + hex32, 0600, false,
         path_ + ": the file is UTF-16: save the token as ASCII"},
        {" \n", 0600, false, path_ + ": the file is empty"},
        {hex32 + " " + hex32, 0600, false, path_ + ": a token holds only printable ASCII"},
        {std::string(5000, 'a'), 0600, false, path_ + ": too long for a token"},
    };
    for (const auto& c : cases) {
        Write(c.text, c.mode);
        std::string token = "unset", why;
        EXPECT_EQ(LoadTokenFile(path_, &token, &why), c.ok) << c.text.substr(0, 40);
        if (c.ok) {
            EXPECT_EQ(token, c.text.substr(c.text.find_first_not_of(" \n")).substr(0, token.size()));
            EXPECT_EQ(token.find_first_of(" \r\n"), std::string::npos);
        } else {
            EXPECT_EQ(token, "unset");
            EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
            EXPECT_EQ(why.find(c.text.substr(0, 16)), why.npos) << "the message shows the token";
        }
    }
    std::string token, why;
    // As Notepad saves it ("UTF-8 with BOM", CRLF).
    Write("\xEF\xBB\xBF" + hex32 + "\r\n", 0600);
    EXPECT_TRUE(LoadTokenFile(path_, &token, &why)) << why;
    EXPECT_EQ(token, hex32);
    EXPECT_FALSE(LoadTokenFile(path_ + ".missing", &token, &why));
}

// Owned by another user, the secret could be changed (or read) by that user;
// root's own is how systemd's LoadCredential= hands it to a dynamic user.
TEST_F(TokenFile, RefusesOneOfAnotherUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    Write("3f9a0c71d2e84b65a7c1f0e9d3b25c84", 0600);
    std::string token, why;
    ASSERT_EQ(chown(path_.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(LoadTokenFile(path_, &token, &why));
    EXPECT_EQ(why, path_ + " belongs to user 65534, not to the user serve runs as (0) or root");
    ASSERT_EQ(chown(path_.c_str(), 0, 0), 0);
    EXPECT_TRUE(LoadTokenFile(path_, &token, &why)) << why;
}

TEST(TokenStrength, EstimatedFromTheCharactersUsed) {
    const struct {
        std::string token;
        bool strong;  // 128 bits or more
    } cases[] = {
        {"3f9c2a7d41e86b05c1d2e3f4a5b6c7d8e9f00112233445566778899aabbccdd", true},  // openssl rand -hex 32
        {"0b7e41c9d25af38e6c1049b7d2e5f8a3c61e9d04b7a2f5c83e6d19a4b7c0f2e5", true},  // k40ctl token
        {"3f9a0c71d2e84b65a7c1f0e9d3b25c84", true},                                  // 128 bits of hex
        {"aZ3kQ9xB7mN2pL5wR8tY1v", true},                                            // 22 of base64
        {"q7/Xr+2mK9vL0pT4wZ8sN1bC6yH3jF5dG=", true},
        {std::string(50, 'a'), false},
        {std::string(32, '0'), false},
        {"passwordpasswordpasswordpasswordpasswordpassword", false},
        {"CorrectHorseCorrectHorseCorrectHorseCorrectHorse", false},
        {"abababababababababababababababababababababababab", false},
        {std::string(60, 'a') + "b", false},
        {"3f9a0c71d2e84b65a7c1f0e9d3b25c8", false},  // 124 bits of hex
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TokenBits(c.token) >= 128, c.strong) << c.token << ": " << TokenBits(c.token);
    }
}

}  // namespace
