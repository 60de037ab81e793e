#include "serve/RequestGuard.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "serve/IpAddress.h"
#include "serve/SecretFile.h"

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// An address or name as it stands in a Host field: IPv6 in brackets.
std::string HostForm(std::string_view host) {
    std::string lower = Lower(host);
    if (lower.find(':') != std::string::npos && lower.front() != '[') {
        return "[" + lower + "]";
    }
    return lower;
}

// "name:port", "[v6]:port", or without the port (then 80): the name in
// HostForm and the port; false when malformed.
bool SplitAuthority(std::string_view authority, std::string* host, int* port) {
    std::string_view name = authority, rest;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        name = authority.substr(0, close + 1);
        rest = authority.substr(close + 1);
    } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        name = authority.substr(0, colon);
        rest = authority.substr(colon);
    }
    *port = 80;
    if (!rest.empty()) {
        const std::string_view digits = rest.substr(1);
        if (rest.front() != ':' || digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        *port = std::stoi(std::string(digits));
    }
    *host = Lower(name);
    return !host->empty() && host->find_first_of("/\\@?# ") == std::string::npos;
}

bool AuthorityAllowed(const AllowedHosts& allowed, std::string_view authority,
                      const std::string& localAddress) {
    std::string host;
    int port = 0;
    if (allowed.port <= 0 || !SplitAuthority(authority, &host, &port) || port != allowed.port) {
        return false;
    }
    const std::string local = HostForm(localAddress);
    if (allowed.wildcard ? (!local.empty() && host == local) : host == allowed.listenHost) {
        return true;
    }
    if (host == "localhost" && (allowed.loopback || (allowed.wildcard && IsLoopbackHost(local)))) {
        return true;
    }
    return std::find(allowed.names.begin(), allowed.names.end(), host) != allowed.names.end();
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

AllowedHosts MakeAllowedHosts(const std::string& listenHost, int port,
                              const std::vector<std::string>& hostNames) {
    AllowedHosts allowed;
    allowed.listenHost = HostForm(listenHost);
    allowed.port = port;
    allowed.wildcard = allowed.listenHost == "0.0.0.0" || allowed.listenHost == "[::]";
    allowed.loopback = IsLoopbackHost(allowed.listenHost);
    for (const std::string& name : hostNames) {
        if (!name.empty()) {
            allowed.names.push_back(HostForm(name));
        }
    }
    return allowed;
}

bool HostAllowed(const AllowedHosts& allowed, const HttpRequest& request) {
    return !request.host.empty() && AuthorityAllowed(allowed, request.host, request.localAddress);
}

bool OriginAllowed(const AllowedHosts& allowed, const HttpRequest& request) {
    if (request.origin.empty()) {
        return true;
    }
    const std::string_view scheme = "http://";
    return request.origin.size() > scheme.size() &&
           Lower(std::string_view(request.origin).substr(0, scheme.size())) == scheme &&
           AuthorityAllowed(allowed, std::string_view(request.origin).substr(scheme.size()),
                            request.localAddress);
}

bool FromOwnSite(const AllowedHosts& allowed, const HttpRequest& request) {
    const std::string& site = request.fetchSite;
    return (site.empty() || site == "same-origin" || site == "none") &&
           OriginAllowed(allowed, request);
}

bool BearerMatches(const std::string& authorization, const std::string& token) {
    const std::string_view scheme = "bearer ";
    if (token.empty() || authorization.size() <= scheme.size() ||
        Lower(std::string_view(authorization).substr(0, scheme.size())) != scheme) {
        return false;
    }
    std::string_view given = std::string_view(authorization).substr(scheme.size());
    while (!given.empty() && given.front() == ' ') {
        given.remove_prefix(1);
    }
    // Every byte of what was sent is compared, whatever differs first: the
    // time tells only the length of the attempt, which the sender knows.
    volatile unsigned char diff = given.size() == token.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i) {
        diff = diff | static_cast<unsigned char>(given[i] ^ token[i % token.size()]);
    }
    return !given.empty() && diff == 0;
}

int TokenBits(std::string_view token) {
    // The shortest piece the token repeats twice or more: "passwordpasswordpass"
    // is "password".
    std::size_t period = token.size();
    for (std::size_t p = 1; p <= token.size() / 2; ++p) {
        std::size_t i = p;
        while (i < token.size() && token[i] == token[i - p]) {
            ++i;
        }
        if (i == token.size()) {
            period = p;
            break;
        }
    }
    const std::string_view piece = token.substr(0, period);
    // The alphabet the characters used belong to: hex digits, or the sum of
    // the classes (digits, lower case, upper case, other printable ASCII).
    const auto any = [&](auto test) { return std::any_of(piece.begin(), piece.end(), test); };
    const auto is = [](char lo, char hi) { return [lo, hi](char c) { return c >= lo && c <= hi; }; };
    int alphabet = 0;
    if (std::all_of(piece.begin(), piece.end(), IsHex) &&
        !(any(is('a', 'f')) && any(is('A', 'F')))) {
        alphabet = 16;
    } else {
        alphabet = (any(is('0', '9')) ? 10 : 0) + (any(is('a', 'z')) ? 26 : 0) +
                   (any(is('A', 'Z')) ? 26 : 0) +
                   (any([](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }) ? 32 : 0);
    }
    // ... unless it uses far fewer distinct characters than a random pick of
    // as many from that alphabet would (half as many, or fewer): then only
    // the characters used count. Fifty times "a" is one character of 26.
    bool used[256] = {};
    int distinct = 0;
    for (const char c : piece) {
        distinct += used[static_cast<unsigned char>(c)] ? 0 : 1;
        used[static_cast<unsigned char>(c)] = true;
    }
    if (piece.empty()) {
        return 0;
    }
    const double size = alphabet, length = static_cast<double>(period);
    const double expected = size * (1.0 - std::pow(1.0 - 1.0 / size, length));
    const double perCharacter = 2.0 * distinct >= expected ? std::log2(size) : std::log2(distinct);
    return static_cast<int>(length * perCharacter + 1e-9);
}

bool LoadTokenFile(const std::string& path, std::string* token, std::string* why) {
    std::string text;
    if (!ReadSecretFile(path, 4096, &text, why)) {
        return false;
    }
    // Windows' editors may begin a text file with a byte-order mark: UTF-8's
    // (Notepad's "UTF-8 with BOM") is dropped; UTF-16 (Windows PowerShell's
    // ">" and Out-File) is named, since its zero bytes make it no token.
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    } else if (text.rfind("\xFF\xFE", 0) == 0 || text.rfind("\xFE\xFF", 0) == 0) {
        std::fill(text.begin(), text.end(), '\0');
        *why = path + ": the file is UTF-16: save the token as ASCII (or UTF-8)";
        return false;
    }
    const char* space = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(space);
    const std::size_t last = text.find_last_not_of(space);
    const std::string trimmed = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    std::fill(text.begin(), text.end(), '\0');
    if (trimmed.empty()) {
        *why = path + ": the file is empty";
        return false;
    }
    if (!std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c > 0x20 && c < 0x7f; })) {
        *why = path + ": a token holds only printable ASCII characters without spaces";
        return false;
    }
    if (TokenBits(trimmed) < 128) {
        *why = path + ": the token is too weak (under 128 bits): make one with openssl rand -hex 32";
        return false;
    }
    *token = trimmed;
    return true;
}
