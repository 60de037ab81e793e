// A connection reads one request at a time (no second one is read while the
// application works on the first), under a deadline for the whole request
// and an idle timeout between kept-alive requests, and writes its answer from
// a queue that a streamed answer fills as its source allows. An answer made on
// demand (the history) is paced: two of them take half a processor at most.
#include "serve/HttpConnection.h"

#include <cstdio>

#include "serve/HttpResponder.h"
#include "serve/IpAddress.h"

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

std::string AddressText(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
    }
    return address.to_string();
}

constexpr std::size_t kStreamLowWater = 64 * 1024;  // pull a made-on-demand answer below this
constexpr int kPaceRests = 3;  // an answer made on demand rests 3 times its making
constexpr int kRefusalWriteMs = 2000;
constexpr int kLingerMs = 1000;
constexpr std::size_t kLingerBytes = 4 << 20;

}  // namespace

HttpConnection::HttpConnection(std::shared_ptr<ServerContext> core, tcp::socket socket)
    : core_(std::move(core)), socket_(std::move(socket)), timer_(socket_.get_executor()) {
    error_code ec;
    const tcp::endpoint local = socket_.local_endpoint(ec);
    if (!ec) {
        local_ = AddressText(local.address());
        localPort_ = local.port();
    }
    const tcp::endpoint remote = socket_.remote_endpoint(ec);
    remote_ = ec ? std::string("a client") : AddressText(remote.address());
    client_ = ClientBlock(remote_);
}

HttpConnection::~HttpConnection() {
    core_->Unregister(this);
    if (!closed_.exchange(true)) {
        --core_->open;
        core_->pending -= pendingBytes_;
        if (admitted_) {
            core_->ReleaseClient(client_);
        }
        if (stream_) {
            stream_->Closed();
        }
    }
}

void HttpConnection::Start() {
    admitted_ = core_->AdmitClient(client_);
    if (!admitted_) {
        ++core_->refused;
        LogRefusal("k40ctl: refused a connection from " + remote_ + ": it holds " +
                   std::to_string(core_->limits.maxConnectionsPerClient) + " connections");
        PostClose();
        return;
    }
    if (!core_->Register(this, [weak = weak_from_this()] {
            if (auto c = weak.lock()) {
                c->PostClose();
            }
        })) {
        PostClose();
        return;
    }
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->ReadRequest(); });
}

void HttpConnection::PostClose() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->Close(); });
}

void HttpConnection::Close() {
    if (closed_.exchange(true)) {
        return;
    }
    ++timerGeneration_;
    timer_.cancel();
    error_code ignored;
    socket_.close(ignored);
    --core_->open;
    core_->pending -= pendingBytes_;
    pendingBytes_ = 0;
    if (admitted_) {
        core_->ReleaseClient(client_);
    }
    if (auto stream = std::move(stream_)) {
        stream->Closed();
    }
}

void HttpConnection::ReadRequest() {
    reader_ = std::make_unique<HttpRequestReader>(core_->limits);
    continueSent_ = false;
    idle_ = inbuf_.empty() && !firstRequest_;
    firstRequest_ = false;
    if (idle_) {
        Arm(Timer::Idle, core_->limits.idleMs);
        Read();
    } else {
        Arm(Timer::Header, core_->limits.headerDeadlineMs);
        Parse();
    }
}

void HttpConnection::Read() {
    socket_.async_read_some(asio::buffer(chunk_), [self = shared_from_this()](
                                                      const error_code& ec, std::size_t n) {
        if (self->closed_) {
            return;
        }
        if (ec) {  // the client went away; not a refusal
            self->Close();
            return;
        }
        if (self->idle_) {
            self->idle_ = false;
            self->Arm(Timer::Header, self->core_->limits.headerDeadlineMs);
        }
        self->inbuf_.append(self->chunk_.data(), n);
        self->Parse();
    });
}

void HttpConnection::Parse() {
    std::size_t used = 0;
    const HttpRequestReader::State state = reader_->Feed(inbuf_, &used);
    inbuf_.erase(0, used);
    switch (state) {
        case HttpRequestReader::State::NeedMore:
            if (reader_->HeaderDone() && reader_->ExpectsContinue() && !continueSent_) {
                continueSent_ = true;
                Send(ContinueLine());
            }
            Read();
            return;
        case HttpRequestReader::State::Refused:
            Refuse(reader_->Status(), reader_->Why());
            return;
        case HttpRequestReader::State::Done:
            Dispatch();
            return;
    }
}

void HttpConnection::Dispatch() {
    ++timerGeneration_;
    timer_.cancel();
    HttpRequest request = reader_->Take();
    keepAlive_ = reader_->KeepAlive();
    // HEAD is answered as GET without the body.
    head_ = request.method == "HEAD";
    if (head_) {
        request.method = "GET";
    }
    request.localAddress = local_;
    request.remoteAddress = remote_;
    request.localPort = localPort_;
    auto responder = std::make_shared<Responder>(shared_from_this());
    try {
        core_->app.Handle(std::move(request),
                          [responder](HttpResponse response) { responder->Answer(std::move(response)); });
    } catch (const std::exception& e) {
        LogRefusal("k40ctl: 500 for " + remote_ + ": " + e.what());
        responder->Answer(TextResponse(500, "internal error"));
    }
}

void HttpConnection::PostAnswer(HttpResponse response) {
    auto stream = response.stream;
    const bool posted = core_->Post(
        socket_.get_executor(), [self = shared_from_this(), r = std::move(response)]() mutable {
            self->Answer(std::move(r));
        });
    if (!posted && stream) {
        stream->Closed();
    }
}

void HttpConnection::Answer(HttpResponse response) {
    if (closed_) {
        if (response.stream) {
            response.stream->Closed();
        }
        return;
    }
    answered_ = true;
    if (response.stream && !head_) {
        StartStream(std::move(response));
        return;
    }
    if (response.stream) {
        response.stream->Closed();
        keepAlive_ = false;
    }
    ResponseFraming framing;
    framing.chunked = response.stream != nullptr;
    framing.contentLength = response.body.size();
    framing.keepAlive = keepAlive_;
    std::string bytes = ResponseHead(response, framing);
    if (!head_) {
        bytes += response.body;
    }
    Send(std::move(bytes));
}

void HttpConnection::StartStream(HttpResponse response) {
    stream_ = std::move(response.stream);
    keepAlive_ = false;  // a streamed answer ends with the connection
    Send(ResponseHead(response, ResponseFraming{true, 0, false}));
    std::weak_ptr<HttpConnection> weak = weak_from_this();
    stream_->OnReady([weak] {
        if (auto self = weak.lock()) {
            self->Wake();
        }
    });
    // The client sends nothing more: its end of file (or anything) ends the stream.
    socket_.async_read_some(asio::buffer(chunk_),
                            [self = shared_from_this()](const error_code&, std::size_t) {
                                self->Close();
                            });
    Pull(false);
}

void HttpConnection::Wake() {
    if (closed_ || wakePending_.exchange(true)) {
        return;
    }
    core_->Post(socket_.get_executor(), [self = shared_from_this()] {
        self->wakePending_ = false;
        self->Pull(true);
    });
}

// A wake says the source holds pushed data (events): all of it is taken, and a
// client that does not read lets it pile up here, up to the limit. A source
// that makes its answer on demand (the history) is pulled only as the client
// reads.
void HttpConnection::Pull(bool woken) {
    const std::size_t low = std::min(kStreamLowWater, core_->limits.maxPendingStreamBytes);
    while (stream_ && !closed_ && (woken || pendingBytes_ < low)) {
        std::string chunk;
        const auto begun = std::chrono::steady_clock::now();
        const ChunkSource::Pull pull = stream_->Next(&chunk);
        const auto made = std::chrono::steady_clock::now();
        restUntil_ = std::max(restUntil_, made) + kPaceRests * (made - begun);
        if (pull == ChunkSource::Pull::End) {
            stream_.reset();
            Send("0\r\n\r\n");
            return;
        }
        if (pull == ChunkSource::Pull::Later || chunk.empty()) {
            return;
        }
        char size[20];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        Send(size + chunk + "\r\n");
        const bool allBehind =
            core_->pending > core_->limits.maxPendingStreamTotal && pendingBytes_ > low;
        if (pendingBytes_ > core_->limits.maxPendingStreamBytes || allBehind) {
            LogRefusal("k40ctl: stream to " + remote_ + " ended: the client reads too slowly");
            Close();
            return;
        }
    }
}

void HttpConnection::Send(std::string bytes) {
    if (closed_) {
        return;
    }
    pendingBytes_ += bytes.size();
    core_->pending += bytes.size();
    out_.push_back(std::move(bytes));
    if (!writing_) {
        WriteNext();
    }
}

void HttpConnection::WriteNext() {
    writing_ = true;
    if (answered_) {
        Arm(Timer::Write, refusing_ ? kRefusalWriteMs : core_->limits.idleMs);
    }
    asio::async_write(socket_, asio::buffer(out_.front()),
                      [self = shared_from_this()](const error_code& ec, std::size_t) {
                          if (self->closed_) {
                              return;
                          }
                          if (ec) {
                              self->Close();
                              return;
                          }
                          self->pendingBytes_ -= self->out_.front().size();
                          self->core_->pending -= self->out_.front().size();
                          self->out_.pop_front();
                          if (!self->out_.empty()) {
                              self->WriteNext();
                              return;
                          }
                          self->writing_ = false;
                          self->AfterWrites();
                      });
}

void HttpConnection::AfterWrites() {
    if (!answered_) {
        return;  // "100 Continue" went out; the request is still being read
    }
    if (refusing_) {
        Linger();
        return;
    }
    ++timerGeneration_;
    timer_.cancel();
    if (stream_) {
        const auto rest = restUntil_ - std::chrono::steady_clock::now();
        const auto ms = rest / std::chrono::milliseconds(1);
        ms > 0 ? Arm(Timer::Rest, static_cast<int>(ms)) : Pull(false);
        return;
    }
    if (!keepAlive_) {
        error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_send, ignored);
        Close();
        return;
    }
    answered_ = false;
    ReadRequest();
}

void HttpConnection::Refuse(int status, const std::string& why) {
    ++core_->refused;
    LogRefusal("k40ctl: " + std::to_string(status) + " from " + remote_ + ": " + why);
    refusing_ = true;
    answered_ = true;
    keepAlive_ = false;
    const HttpResponse response = TextResponse(status, why);
    Send(ResponseHead(response, ResponseFraming{false, response.body.size(), false}) +
         response.body);
}

// After a refusal the client may still be sending (a huge header): its bytes
// are read and dropped for a moment, so that closing does not reset the
// connection before the client has read the answer.
void HttpConnection::Linger() {
    error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    Arm(Timer::Linger, kLingerMs);
    Drain();
}

void HttpConnection::Drain() {
    socket_.async_read_some(asio::buffer(chunk_), [self = shared_from_this()](
                                                      const error_code& ec, std::size_t n) {
        self->drained_ += n;
        if (ec || self->drained_ > kLingerBytes) {
            self->Close();
        } else if (!self->closed_) {
            self->Drain();
        }
    });
}

void HttpConnection::Arm(Timer kind, int ms) {
    if (closed_) {
        return;
    }
    const unsigned generation = ++timerGeneration_;
    timer_.expires_after(std::chrono::milliseconds(ms));
    timer_.async_wait([self = shared_from_this(), kind, generation, ms](const error_code& ec) {
        if (ec || self->closed_ || generation != self->timerGeneration_) {
            return;
        }
        if (kind == Timer::Rest) {
            return self->Pull(false);
        }
        const std::string within = " within " + std::to_string(ms) + " ms";
        if (kind == Timer::Header) {
            ++self->core_->refused;
            LogRefusal("k40ctl: 408 from " + self->remote_ + ": request not complete" + within +
                       "; closed");
        } else if (kind == Timer::Write) {
            LogRefusal("k40ctl: closed " + self->remote_ + ": the answer was not taken" + within);
        }
        self->Close();
    });
}
