#include "cli/TokenCommand.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::size_t kTokenBytes = 32;  // 256 bits, as `openssl rand -hex 32`

}  // namespace

int RunToken(const CtlOptions& o) {
    const std::string& path = o.serve.newTokenFile;
    unsigned char bytes[kTokenBytes];
    std::string why;
    if (!SystemRandom(bytes, sizeof bytes, &why)) {
        std::fprintf(stderr, "k40ctl: token: %s\n", why.c_str());
        return kExitFailure;
    }
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char b : bytes) {
        text += hex[b >> 4];
        text += hex[b & 15];
    }
    text += "\n";
    std::fill(std::begin(bytes), std::end(bytes), 0);
    const bool written = WritePrivateFile(path, text, &why);
    std::fill(text.begin(), text.end(), '\0');
    if (!written) {
        std::fprintf(stderr, "k40ctl: token: %s\n", why.c_str());
        return kExitFailure;
    }
    std::printf("k40ctl: a new token of 256 bits is in %s, readable by you only; give it to\n"
                "serve with --token-file or --read-token-file, and to a client as\n"
                "Authorization: Bearer (Prometheus: authorization: credentials_file:)\n",
                path.c_str());
    return kExitReply;
}
