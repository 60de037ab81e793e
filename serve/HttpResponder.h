// The function through which the application answers a request of
// HttpConnection (internal: HttpConnection.cpp alone includes it).
#pragma once

#include <atomic>
#include <memory>

#include "serve/HttpConnection.h"

// The application's answer function: answers exactly once, and with a 500 when
// the application dropped it without answering, so a connection never waits
// for nothing.
class Responder {
public:
    explicit Responder(std::shared_ptr<HttpConnection> c) : connection_(std::move(c)) {}
    ~Responder() {
        if (!done_.exchange(true)) {
            connection_->PostAnswer(TextResponse(500, "the request got no answer"));
        }
    }
    void Answer(HttpResponse response) {
        if (!done_.exchange(true)) {
            connection_->PostAnswer(std::move(response));
        }
    }

private:
    std::shared_ptr<HttpConnection> connection_;
    std::atomic<bool> done_{false};
};
