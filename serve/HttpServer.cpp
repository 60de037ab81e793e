// The listener and the threads of k40ctl's HTTP server. Connections are
// accepted on a strand of their own; beyond HttpLimits::maxConnections they
// are closed at once, so a flood of connections never takes more than that.
#include "serve/HttpServer.h"

#include <cctype>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "serve/HttpConnection.h"
#include "serve/ListenSocket.h"

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

// The system's text, in the lower case of the rest of the message; the usual
// ones in the same words everywhere (Windows' own are long, Wine has none).
std::string SystemText(const error_code& ec) {
    if (ec == asio::error::address_in_use) {
        return "address already in use";
    }
    if (ec == asio::error::access_denied) {
        return "permission denied";
    }
    std::string text = ec.message();
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
        std::islower(static_cast<unsigned char>(text[1]))) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

void Run(asio::io_context& io) {
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::exception& e) {
            LogRefusal(std::string("k40ctl: HTTP server: ") + e.what());
        }
    }
}

}  // namespace

struct HttpServer::Impl {
    Impl(HttpApp& app, const HttpLimits& limits)
        : core(std::make_shared<ServerContext>(app, limits)),
          acceptor(asio::make_strand(core->io)),
          retry(acceptor.get_executor()) {}

    void Accept();
    void Accepted(tcp::socket socket);

    std::shared_ptr<ServerContext> core;
    tcp::acceptor acceptor;
    asio::steady_timer retry;  // after a failed accept (no descriptors left)
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::vector<std::thread> threads;
    std::mutex control;
    bool started = false, stopped = false;
    int port = 0;
};

void HttpServer::Impl::Accept() {
    acceptor.async_accept(asio::make_strand(core->io), [this](const error_code& ec,
                                                              tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open()) {
            return;
        }
        if (ec) {
            retry.expires_after(std::chrono::milliseconds(100));
            retry.async_wait([this](const error_code& e) {
                if (!e) {
                    Accept();
                }
            });
            return;
        }
        Accepted(std::move(socket));
        Accept();
    });
}

void HttpServer::Impl::Accepted(tcp::socket socket) {
    error_code ec;
    if (core->open.load() >= core->limits.maxConnections) {
        ++core->refused;
        const tcp::endpoint remote = socket.remote_endpoint(ec);
        LogRefusal("k40ctl: refused a connection from " +
                   (ec ? std::string("a client") : remote.address().to_string()) + ": " +
                   std::to_string(core->limits.maxConnections) + " connections open");
        socket.close(ec);
        return;
    }
    socket.set_option(tcp::no_delay(true), ec);
    ++core->open;
    std::make_shared<HttpConnection>(core, std::move(socket))->Start();
}

HttpServer::HttpServer(HttpApp& app, HttpLimits limits)
    : impl_(std::make_unique<Impl>(app, limits)) {}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Listen(const std::string& host, int port, std::string* why) {
    const std::string where =
        (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
    error_code ec;
    const asio::ip::address address = asio::ip::make_address(host, ec);
    if (ec || port < 0 || port > 65535) {
        *why = where + ": not an IP address and port";
        return false;
    }
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
    tcp::acceptor& acceptor = impl_->acceptor;
    if (acceptor.is_open()) {
        acceptor.close(ec);
    }
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) {
        if (address.is_v6() && address.is_unspecified()) {
            error_code ignored;  // both families on "::" where the system allows it
            acceptor.set_option(asio::ip::v6_only(false), ignored);
        }
        PrepareListenSocket(static_cast<std::uintptr_t>(acceptor.native_handle()));
        acceptor.bind(endpoint, ec);
    }
    if (!ec) {
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        *why = where + ": " + SystemText(ec);
        error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    impl_->port = acceptor.local_endpoint(ec).port();
    return true;
}

int HttpServer::Port() const { return impl_->port; }

void HttpServer::Start(int threads) {
    std::lock_guard<std::mutex> lock(impl_->control);
    if (impl_->started || impl_->stopped) {
        return;
    }
    impl_->started = true;
    if (impl_->acceptor.is_open()) {
        impl_->Accept();
    }
    impl_->work.emplace(impl_->core->io.get_executor());
    for (int i = 0; i < std::max(threads, 1); ++i) {
        impl_->threads.emplace_back([core = impl_->core] { Run(core->io); });
    }
}

void HttpServer::Stop() {
    std::lock_guard<std::mutex> lock(impl_->control);
    if (impl_->stopped) {
        return;
    }
    impl_->stopped = true;
    Impl* impl = impl_.get();
    asio::post(impl->acceptor.get_executor(), [impl] {
        error_code ignored;
        impl->acceptor.close(ignored);
        impl->retry.cancel();
    });
    impl->core->CloseAll();
    impl->work.reset();
    for (std::thread& t : impl->threads) {
        t.join();
    }
    impl->threads.clear();
    // What was posted before the threads ended (or with no threads at all):
    // the closes and their aborted operations, run here; after that nothing
    // more is posted, as nothing would run it.
    impl->core->SetStopped();
    impl->core->io.restart();
    impl->core->io.run();
}

std::size_t HttpServer::Refused() const { return impl_->core->refused.load(); }
