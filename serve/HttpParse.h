// The HTTP/1.1 wire format of k40ctl serve, as pure functions over bytes: the
// request parser the server feeds from its socket (Boost.Beast's parser behind
// an interface without Beast), the target's checks and percent-decoding, and
// the response head. The fuzz target feeds the same parser arbitrary bytes.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "serve/Http.h"
#include "serve/HttpServer.h"

// One request read in pieces as they arrive. The caller keeps the bytes not
// yet used and gives them again with more (the parser does not copy a
// header that is still incomplete).
class HttpRequestReader {
public:
    enum class State { NeedMore, Done, Refused };
    explicit HttpRequestReader(const HttpLimits& limits);
    ~HttpRequestReader();
    HttpRequestReader(const HttpRequestReader&) = delete;
    HttpRequestReader& operator=(const HttpRequestReader&) = delete;

    // Parses what it can of bytes; *used: how many it took (with Done, the
    // rest belongs to the next request on the connection).
    State Feed(std::string_view bytes, std::size_t* used);
    // The header is complete (the body may still be coming).
    bool HeaderDone() const;
    // The client waits for "100 Continue" before it sends its body.
    bool ExpectsContinue() const;

    // With Refused: the 4xx or 501 status to answer and a short reason for
    // the log; the connection is closed after the answer.
    int Status() const { return status_; }
    const std::string& Why() const { return why_; }
    // With Done: the request, and whether the connection may stay open.
    HttpRequest Take() { return std::move(request_); }
    bool KeepAlive() const { return keepAlive_; }

private:
    State Refuse(int status, std::string why);
    State TakeHeader(std::string_view taken);
    State Finish();

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::size_t headerRoom_;  // header bytes the parser may still take
    HttpRequest request_;
    int status_ = 0;
    std::string why_;
    bool keepAlive_ = false;
};

// A whole request in bytes: 0 when it is complete and valid (*out filled),
// else the 4xx (501: a transfer coding other than chunked) status the server answers (400 also for an incomplete one),
// with the reason in *why.
int ParseHttpRequest(std::string_view bytes, const HttpLimits& limits, HttpRequest* out,
                     std::string* why);

// The request target (origin form only: "/path?query"): fills target, path and
// query. 400 for a path that is not absolute, holds "..", "//", a NUL, a
// backslash or a control character once decoded, or for bad percent-encoding.
int SetRequestTarget(std::string_view target, HttpRequest* out, std::string* why);
// One header field into the request's fields (names without case). 400 for a
// second Host, Origin, Authorization, Content-Type, Content-Length,
// Sec-Fetch-Site or scrape timeout field, empty or not; *seen keeps which
// came (0 before the first field).
int SetRequestField(std::string_view name, std::string_view value, HttpRequest* out,
                    std::string* why, unsigned* seen);

// "%41b" -> "Ab"; with plusIsSpace (a query) '+' is a space. False for a '%'
// not followed by two hex digits.
bool PercentDecode(std::string_view text, bool plusIsSpace, std::string* out);

// The value of a hexadecimal digit (either case), -1 for any other character.
int HexDigit(char c);
// "a=1&b=x%20y&c" -> {a:1, b:"x y", c:""}. False on bad percent-encoding.
bool ParseQueryString(std::string_view query, std::multimap<std::string, std::string>* out);

// How the body of an answer is framed on the wire.
struct ResponseFraming {
    bool chunked = false;         // else Content-Length: contentLength
    std::size_t contentLength = 0;
    bool keepAlive = true;        // else Connection: close
};
// The status line and the fields through the empty line, with
// Cache-Control: no-store and X-Content-Type-Options: nosniff. The
// application's own fields are dropped when they hold CR, LF or NUL or would
// override the framing (Content-Length, Transfer-Encoding, Connection) or
// Cache-Control.
std::string ResponseHead(const HttpResponse& response, const ResponseFraming& framing);
// "HTTP/1.1 100 Continue\r\n\r\n".
const char* ContinueLine();
