// The request parser is Beast's, bounded by k40ctl's limits; what it accepts
// is then checked again for what the routes must never see (paths that climb
// or hide a separator, doubled fields that a proxy and the server could read
// differently).
#include "serve/HttpParse.h"

#include <algorithm>
#include <boost/beast/http.hpp>
#include <cstdint>
#include <limits>

namespace http = boost::beast::http;

namespace {

std::string_view View(boost::beast::string_view s) { return {s.data(), s.size()}; }

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

// Why Beast refused a request, in the words of the log line.
int RefusalStatus(const boost::beast::error_code& ec, std::string* why) {
    if (ec == http::error::header_limit) {
        *why = "request header too large";
        return 431;
    }
    if (ec == http::error::body_limit || ec == http::error::buffer_overflow) {
        *why = "request body too large";
        return 413;
    }
    if (ec == http::error::bad_method || ec == http::error::bad_target ||
        ec == http::error::bad_version) {
        *why = "bad request line";
    } else if (ec == http::error::bad_field || ec == http::error::bad_value ||
               ec == http::error::bad_obs_fold) {
        *why = "bad header field";
    } else if (ec == http::error::bad_line_ending) {
        *why = "bad line ending";
    } else if (ec == http::error::bad_content_length || ec == http::error::bad_transfer_encoding ||
               ec == http::error::bad_chunk || ec == http::error::bad_chunk_extension) {
        *why = "bad body framing";
    } else {
        *why = "bad request (" + ec.message() + ")";
    }
    return 400;
}

// A line of the header that begins with a space or tab continues the one
// before (obs-fold): refused, since whoever reads it otherwise sees other
// fields than the server. header: the request line through the last field.
bool HasObsFold(std::string_view header) {
    for (std::size_t at = header.find("\r\n"); at != std::string_view::npos;
         at = header.find("\r\n", at + 2)) {
        if (at + 2 < header.size() && (header[at + 2] == ' ' || header[at + 2] == '\t')) {
            return true;
        }
    }
    return false;
}

// The transfer codings of a request, all Transfer-Encoding fields joined:
// chunked alone is known; it must come once and last, since otherwise the
// body's end cannot be found, and not on HTTP/1.0, which has no chunks.
int CheckTransferCoding(std::string_view list, unsigned version, std::string* why) {
    if (version < 11) {
        *why = "Transfer-Encoding in an HTTP/1.0 request";
        return 400;
    }
    int chunked = 0;
    bool chunkedLast = false;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view coding = list.substr(0, std::min(comma, list.find(';')));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        while (!coding.empty() && (coding.front() == ' ' || coding.front() == '\t')) {
            coding.remove_prefix(1);
        }
        while (!coding.empty() && (coding.back() == ' ' || coding.back() == '\t')) {
            coding.remove_suffix(1);
        }
        if (coding.empty()) {
            continue;
        }
        if (!SameName(coding, "chunked")) {
            *why = "transfer coding \"" + std::string(coding) + "\" is not supported";
            return 501;
        }
        ++chunked;
        chunkedLast = list.find_first_not_of(" \t,") == std::string_view::npos;
    }
    if (chunked != 1 || !chunkedLast) {
        *why = "chunked must be the last transfer coding, once";
        return 400;
    }
    return 0;
}

}  // namespace

struct HttpRequestReader::Impl {
    http::request_parser<http::string_body> parser;
};

HttpRequestReader::HttpRequestReader(const HttpLimits& limits)
    : impl_(std::make_unique<Impl>()), headerRoom_(limits.maxHeaderBytes) {
    const std::size_t most = std::numeric_limits<std::uint32_t>::max();
    impl_->parser.header_limit(static_cast<std::uint32_t>(std::min(limits.maxHeaderBytes, most)));
    impl_->parser.body_limit(limits.maxBodyBytes);
    // Not eager until the header is taken: the parser stops after it, before
    // the body and its trailer (whose fields it would add to the header's).
    impl_->parser.eager(false);
}

HttpRequestReader::~HttpRequestReader() = default;

HttpRequestReader::State HttpRequestReader::Refuse(int status, std::string why) {
    status_ = status;
    why_ = std::move(why);
    return State::Refused;
}

HttpRequestReader::State HttpRequestReader::Feed(std::string_view bytes, std::size_t* used) {
    *used = 0;
    if (status_ != 0) {
        return State::Refused;
    }
    auto& parser = impl_->parser;
    while (!parser.is_done()) {
        // The header limit counts the whole header, however it arrives: Beast
        // alone bounds the request line and the fields each, and only when
        // they come in one piece.
        std::size_t offered = bytes.size() - *used;
        const bool inHeader = !parser.is_header_done();
        const bool clamped = inHeader && offered > headerRoom_;
        offered = clamped ? headerRoom_ : offered;
        boost::beast::error_code ec;
        const std::size_t start = *used;
        const std::size_t n = parser.put(boost::asio::const_buffer(bytes.data() + start, offered), ec);
        *used += n;
        if (inHeader) {
            headerRoom_ -= std::min(n, headerRoom_);
        }
        // Beast takes the header in one piece, once all of it is there: the
        // bytes it took just now are the whole of it.
        if (inHeader && parser.is_header_done()) {
            if (TakeHeader(bytes.substr(start, n)) != State::Done) {
                return State::Refused;
            }
            parser.eager(true);
        }
        if (clamped && !parser.is_header_done() && (ec == http::error::need_more || !ec)) {
            return Refuse(431, "request header too large");
        }
        if (ec == http::error::need_more || (!ec && n == 0)) {
            return State::NeedMore;
        }
        if (ec) {
            std::string why;
            const int status = RefusalStatus(ec, &why);
            return Refuse(status, std::move(why));
        }
    }
    return Finish();
}

bool HttpRequestReader::HeaderDone() const { return impl_->parser.is_header_done(); }

bool HttpRequestReader::ExpectsContinue() const {
    const auto& m = impl_->parser.get();
    const auto it = m.find(http::field::expect);
    return it != m.end() && SameName(View(it->value()), "100-continue");
}

// The header as the routes will see it, read once when it is complete: the
// fields that come after the body (a chunked body's trailer) are never added
// to it, since a proxy in front would not have seen them where they count.
HttpRequestReader::State HttpRequestReader::TakeHeader(std::string_view taken) {
    const auto& m = impl_->parser.get();
    if (m.version() != 10 && m.version() != 11) {
        return Refuse(400, "unsupported HTTP version");
    }
    if (HasObsFold(taken.substr(0, taken.find("\r\n\r\n")))) {
        return Refuse(400, "a header line continued on the next (obs-fold)");
    }
    HttpRequest request;
    request.method = std::string(View(m.method_string()));
    std::string why;
    if (SetRequestTarget(View(m.target()), &request, &why) != 0) {
        return Refuse(400, std::move(why));
    }
    unsigned seen = 0;
    std::string codings;
    for (const auto& field : m) {
        const std::string_view name = View(field.name_string()), value = View(field.value());
        if (SetRequestField(name, value, &request, &why, &seen) != 0) {
            return Refuse(400, std::move(why));
        }
        if (SameName(name, "Transfer-Encoding")) {
            codings += std::string(codings.empty() ? "" : ",") + std::string(value);
        }
    }
    if (m.version() == 11 && request.host.empty()) {
        return Refuse(400, "no Host field");
    }
    if (m.find(http::field::transfer_encoding) != m.end()) {
        const int status = CheckTransferCoding(codings, m.version(), &why);
        if (status != 0) {
            return Refuse(status, std::move(why));
        }
    }
    keepAlive_ = m.keep_alive() && m.version() == 11;  // 1.0 clients: one request each
    request_ = std::move(request);
    return State::Done;
}

HttpRequestReader::State HttpRequestReader::Finish() {
    request_.body = std::move(impl_->parser.get().body());
    return State::Done;
}

int ParseHttpRequest(std::string_view bytes, const HttpLimits& limits, HttpRequest* out,
                     std::string* why) {
    HttpRequestReader reader(limits);
    std::size_t used = 0;
    switch (reader.Feed(bytes, &used)) {
        case HttpRequestReader::State::Done:
            *out = reader.Take();
            return 0;
        case HttpRequestReader::State::NeedMore:
            *why = "incomplete request";
            return 400;
        case HttpRequestReader::State::Refused:
            break;
    }
    *why = reader.Why();
    return reader.Status();
}

bool PercentDecode(std::string_view text, bool plusIsSpace, std::string* out) {
    out->clear();
    out->reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return false;
            }
            const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
            if (hi < 0 || lo < 0) {
                return false;
            }
            out->push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out->push_back(plusIsSpace && c == '+' ? ' ' : c);
        }
    }
    return true;
}

bool ParseQueryString(std::string_view query, std::multimap<std::string, std::string>* out) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) {
            continue;
        }
        const std::size_t eq = pair.find('=');
        std::string name, value;
        if (!PercentDecode(pair.substr(0, eq), true, &name) ||
            (eq != std::string_view::npos && !PercentDecode(pair.substr(eq + 1), true, &value))) {
            return false;
        }
        out->emplace(std::move(name), std::move(value));
    }
    return true;
}

int SetRequestTarget(std::string_view target, HttpRequest* out, std::string* why) {
    out->target = std::string(target);
    if (target.empty() || target[0] != '/') {
        *why = "the target is not an absolute path";
        return 400;
    }
    const std::size_t mark = target.find('?');
    std::string path;
    if (!PercentDecode(target.substr(0, mark), false, &path)) {
        *why = "bad percent-encoding in the path";
        return 400;
    }
    const bool control = std::any_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\';
    });
    if (control || path.find("..") != std::string::npos || path.find("//") != std::string::npos) {
        *why = "path refused (\"..\", \"//\", backslash or control character)";
        return 400;
    }
    out->path = std::move(path);
    out->query.clear();
    if (mark != std::string_view::npos && !ParseQueryString(target.substr(mark + 1), &out->query)) {
        *why = "bad percent-encoding in the query";
        return 400;
    }
    return 0;
}

int SetRequestField(std::string_view name, std::string_view value, HttpRequest* out,
                    std::string* why, unsigned* seen) {
    struct Single {
        const char* name;
        std::string HttpRequest::*field;  // null: checked, not kept
    };
    static const Single singles[] = {
        {"Host", &HttpRequest::host},
        {"Origin", &HttpRequest::origin},
        {"Authorization", &HttpRequest::authorization},
        {"Content-Type", &HttpRequest::contentType},
        {"Content-Length", nullptr},
        {"Sec-Fetch-Site", &HttpRequest::fetchSite},
        {"X-Prometheus-Scrape-Timeout-Seconds", &HttpRequest::scrapeTimeout},
    };
    for (unsigned i = 0; i < sizeof singles / sizeof singles[0]; ++i) {
        const Single& s = singles[i];
        if (SameName(name, s.name)) {
            // A second copy, even after an empty first one: two readers of the
            // request (a proxy, the server) could each take another.
            if ((*seen & (1u << i)) != 0) {
                *why = std::string("more than one ") + s.name + " field";
                return 400;
            }
            *seen |= 1u << i;
            if (s.field != nullptr) {
                out->*s.field = std::string(value);
            }
            return 0;
        }
    }
    const struct {
        const char* name;
        std::string HttpRequest::*field;
    } lists[] = {{"Accept", &HttpRequest::accept},
                 {"Sec-Fetch-Mode", &HttpRequest::fetchMode},
                 {"Sec-Fetch-Dest", &HttpRequest::fetchDest}};
    for (const auto& l : lists) {
        if (SameName(name, l.name)) {
            std::string& field = out->*l.field;
            field += (field.empty() ? "" : ", ") + std::string(value);
        }
    }
    return 0;
}

std::string ResponseHead(const HttpResponse& response, const ResponseFraming& framing) {
    const int status = response.status >= 100 && response.status <= 999 ? response.status : 500;
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " +
                       std::string(View(http::obsolete_reason(http::int_to_status(status)))) +
                       "\r\n";
    const auto clean = [](const std::string& s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
    };
    if (!response.contentType.empty() && clean(response.contentType)) {
        head += "Content-Type: " + response.contentType + "\r\n";
    }
    static const char* const ours[] = {"Content-Length", "Transfer-Encoding", "Connection",
                                       "Cache-Control", "Content-Type"};
    for (const auto& field : response.headers) {
        const std::string &name = field.first, &value = field.second;
        const bool taken = std::any_of(std::begin(ours), std::end(ours),
                                       [&](const char* o) { return SameName(name, o); });
        const bool token = !name.empty() && name.find_first_of(" \t:") == name.npos;
        if (!taken && token && clean(name) && clean(value)) {
            head += name + ": " + value + "\r\n";
        }
    }
    head += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    head += framing.chunked ? std::string("Transfer-Encoding: chunked\r\n")
                            : "Content-Length: " + std::to_string(framing.contentLength) + "\r\n";
    if (!framing.keepAlive) {
        head += "Connection: close\r\n";
    }
    return head + "\r\n";
}

const char* ContinueLine() { return "HTTP/1.1 100 Continue\r\n\r\n"; }

int HexDigit(char c) {
    const bool digit = c >= '0' && c <= '9', lower = c >= 'a' && c <= 'f';
    const bool upper = c >= 'A' && c <= 'F';
    return digit ? c - '0' : lower ? c - 'a' + 10 : upper ? c - 'A' + 10 : -1;
}
