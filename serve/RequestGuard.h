// The checks every route of k40ctl serve makes before it acts, as pure
// functions of the request: the Host a browser was sent to (a page of another
// site that resolves its own name to this machine must not reach the unit:
// DNS rebinding), the Origin of a script's request, and the bearer token that
// commands need off loopback.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "serve/Http.h"

// The names the server answers to: its listen address and port, "localhost"
// on loopback, and the operator's --host-name names.
struct AllowedHosts {
    std::string listenHost;  // lower case, IPv6 in brackets: "127.0.0.1", "[::1]", "[::]"
    int port = 0;
    bool wildcard = false;  // 0.0.0.0 or ::: the address each client connected to counts
    bool loopback = false;  // 127.0.0.0/8 or ::1
    std::vector<std::string> names;  // lower case, IPv6 in brackets
};

// port: the one actually listened on (HttpServer::Port(), never 0).
AllowedHosts MakeAllowedHosts(const std::string& listenHost, int port,
                              const std::vector<std::string>& hostNames);

// The Host field names this server with its port: the listen address,
// localhost on loopback (also on a wildcard listen reached through loopback),
// on a wildcard listen the address the client connected to
// (request.localAddress), or a --host-name. Without a port only when the port
// is 80. Missing or anything else: false.
bool HostAllowed(const AllowedHosts& allowed, const HttpRequest& request);
// No Origin field passes (curl, scripts, Prometheus); one that is present must
// be "http://" and a name HostAllowed would take. "null": false.
bool OriginAllowed(const AllowedHosts& allowed, const HttpRequest& request);

// The request comes from this server's own page, or from no page at all
// (curl, scripts, Prometheus): Sec-Fetch-Site absent, "same-origin" or "none"
// (typed, a bookmark), and OriginAllowed. Every port of loopback is one site
// to a browser, so an <img> on a page at 127.0.0.1:8000 comes "same-site",
// without an Origin: not this server's own page.
bool FromOwnSite(const AllowedHosts& allowed, const HttpRequest& request);

// "Bearer <token>" (the scheme without case), compared in a time that does not
// depend on where the two first differ. An empty token never matches.
bool BearerMatches(const std::string& authorization, const std::string& token);

// Reads the secret of --token-file (surrounding whitespace and a UTF-8
// byte-order mark trimmed). Refuses a file others may read or change (not on
// Windows), an empty one, a UTF-16 one, one with characters other than
// printable ASCII without spaces, and one of under 128 bits by TokenBits. The
// messages never show the token.
bool LoadTokenFile(const std::string& path, std::string* token, std::string* why);
// An estimate of a token's strength from the characters it uses: the length of
// the piece it repeats (all of it, unless it is a word over and over) times the
// bits a character carries: those of the alphabet its characters come from
// (hex digits 16, else digits 10, each case of letters 26, other printable
// 32), or of the distinct characters used when they are far fewer than a
// random pick from that alphabet would hold.
int TokenBits(std::string_view token);
