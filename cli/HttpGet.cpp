#include "cli/HttpGet.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <memory>

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
using tcp = boost::asio::ip::tcp;

constexpr std::uint64_t kMostBodyBytes = 1u << 20;

struct HttpTarget {
    std::string host, port = "80", prefix;
};

bool SplitBase(const std::string& base, HttpTarget* t) {
    const std::string scheme = "http://";
    if (base.compare(0, scheme.size(), scheme) != 0) {
        return false;
    }
    const std::size_t from = scheme.size(), slash = base.find('/', from);
    std::string authority = base.substr(from, slash == std::string::npos ? slash : slash - from);
    t->prefix = slash == std::string::npos ? "" : base.substr(slash);
    while (!t->prefix.empty() && t->prefix.back() == '/') {
        t->prefix.pop_back();
    }
    const std::size_t close = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        t->port = authority.substr(colon + 1);
        authority.erase(colon);
    }
    if (authority.size() > 2 && authority.front() == '[' && authority.back() == ']') {
        authority = authority.substr(1, authority.size() - 2);
    }
    t->host = authority;
    return !t->host.empty() && !t->port.empty() &&
           t->port.find_first_not_of("0123456789") == std::string::npos;
}

// The exchange, each step started by the one before; the stream's deadline
// ends whatever step is under way when the time is up.
struct HttpExchange : std::enable_shared_from_this<HttpExchange> {
    HttpExchange(boost::asio::io_context& io, HttpTarget to, std::string wanted)
        : resolver(io), stream(io), target(std::move(to)), path(std::move(wanted)) {
        parser.body_limit(kMostBodyBytes);
    }
    tcp::resolver resolver;
    beast::tcp_stream stream;
    HttpTarget target;
    std::string path;
    http::request<http::empty_body> request;
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    beast::error_code error;
    bool done = false;

    void Start(std::chrono::milliseconds timeout) {
        stream.expires_after(timeout);
        auto self = shared_from_this();
        resolver.async_resolve(target.host, target.port,
                               [self](beast::error_code ec, tcp::resolver::results_type found) {
                                   if (ec) {
                                       self->error = ec;
                                       return;
                                   }
                                   self->stream.async_connect(
                                       found, [self](beast::error_code ec2, auto) { self->Send(ec2); });
                               });
    }
    void Send(beast::error_code ec) {
        if (ec) {
            error = ec;
            return;
        }
        request.method(http::verb::get);
        request.target(target.prefix + path);
        request.version(11);
        request.set(http::field::host, target.host + ":" + target.port);
        request.set(http::field::connection, "close");
        auto self = shared_from_this();
        http::async_write(stream, request, [self](beast::error_code ec2, std::size_t) {
            if (ec2) {
                self->error = ec2;
                return;
            }
            http::async_read(self->stream, self->buffer, self->parser,
                             [self](beast::error_code ec3, std::size_t) {
                                 self->error = ec3;
                                 self->done = !ec3;
                             });
        });
    }
};

}  // namespace

std::string CheckHttpBase(const std::string& base) {
    HttpTarget t;
    return SplitBase(base, &t) ? std::string()
                               : base + " is not http://HOST[:PORT][/PREFIX] (e.g. "
                                        "http://127.0.0.1:9040)";
}

bool HttpGet(const std::string& base, const std::string& path, std::chrono::milliseconds timeout,
             std::string* body, std::string* why) {
    HttpTarget target;
    if (!SplitBase(base, &target)) {
        *why = CheckHttpBase(base);
        return false;
    }
    boost::asio::io_context io;
    auto exchange = std::make_shared<HttpExchange>(io, target, path);
    exchange->Start(timeout);
    // The lookup is not under the stream's deadline: the run is.
    io.run_for(timeout);
    // What is still under way is cancelled and its handlers run out, so that
    // nothing outlives the context.
    exchange->resolver.cancel();
    exchange->stream.close();
    io.restart();
    io.run();
    if (!exchange->done) {
        *why = base + path + ": " +
               (exchange->error ? exchange->error.message() : std::string("no answer in time"));
        return false;
    }
    const auto& response = exchange->parser.get();
    if (response.result() != http::status::ok) {
        *why = base + path + ": HTTP " + std::to_string(response.result_int());
        return false;
    }
    *body = response.body();
    return true;
}
