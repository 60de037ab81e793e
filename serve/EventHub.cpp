#include "serve/EventHub.h"

#include <algorithm>
#include <functional>

#include "serve/ServeLog.h"

class EventHub::Stream : public ChunkSource {
public:
    Stream(std::size_t max, std::size_t maxTotal, std::shared_ptr<std::atomic<std::size_t>> total)
        : max_(max), maxTotal_(maxTotal), total_(std::move(total)) {
        queued_ = "retry: 1000\n\n";
        *total_ += queued_.size();
    }
    ~Stream() override { *total_ -= queued_.size(); }

    Pull Next(std::string* chunk) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (dropped_ || closed_) {
            return Pull::End;
        }
        if (queued_.empty()) {
            return Pull::Later;
        }
        *total_ -= queued_.size();
        chunk->swap(queued_);
        queued_.clear();
        return Pull::Chunk;
    }
    void OnReady(std::function<void()> wake) override {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_ = std::move(wake);
    }
    void Closed() override {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        wake_ = nullptr;
        Release();
    }

    // False when the client was dropped just now for its backlog.
    bool Add(const std::string& text) {
        std::function<void()> wake;
        bool dropNow = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (dropped_ || closed_) {
                return true;
            }
            const bool behind = !queued_.empty() && *total_ + text.size() > maxTotal_;
            if (queued_.size() + text.size() > max_ || behind) {
                dropped_ = dropNow = true;
                Release();
            } else {
                queued_ += text;
                *total_ += text.size();
            }
            wake = wake_;
        }
        if (wake) {
            wake();
        }
        return !dropNow;
    }
    bool Gone() {
        std::lock_guard<std::mutex> lock(mutex_);
        return dropped_ || closed_;
    }

private:
    void Release() {  // mutex_ held
        *total_ -= queued_.size();
        queued_.clear();
        queued_.shrink_to_fit();
    }

    const std::size_t max_, maxTotal_;
    const std::shared_ptr<std::atomic<std::size_t>> total_;
    std::mutex mutex_;
    std::string queued_;
    std::function<void()> wake_;
    bool dropped_ = false, closed_ = false;
};

EventHub::EventHub(std::size_t maxQueuedBytes, std::size_t maxQueuedTotal)
    : max_(maxQueuedBytes),
      maxTotal_(maxQueuedTotal),
      queued_(std::make_shared<std::atomic<std::size_t>>(0)) {
    worker_ = std::thread([this] { Work(); });
}

EventHub::~EventHub() {
    {
        std::lock_guard<std::mutex> lock(waitingMutex_);
        stop_ = true;
    }
    waitingCond_.notify_one();
    worker_.join();
}

void EventHub::Queue(std::string text) {
    {
        std::lock_guard<std::mutex> lock(waitingMutex_);
        if (waitingBytes_ + text.size() > kMostWaiting) {
            return;
        }
        waitingBytes_ += text.size();
        waiting_.push_back(std::move(text));
    }
    waitingCond_.notify_one();
}

void EventHub::Work() {
    for (;;) {
        std::deque<std::string> batch;
        {
            std::unique_lock<std::mutex> lock(waitingMutex_);
            waitingCond_.wait(lock, [this] { return stop_ || !waiting_.empty(); });
            if (stop_) {
                return;
            }
            batch.swap(waiting_);
            waitingBytes_ = 0;
        }
        for (const std::string& text : batch) {
            Send(text);
        }
    }
}

std::shared_ptr<ChunkSource> EventHub::Subscribe() {
    auto stream = std::make_shared<Stream>(max_, maxTotal_, queued_);
    std::lock_guard<std::mutex> lock(mutex_);
    streams_.push_back(stream);
    return stream;
}

void EventHub::Send(const std::string& text) {
    std::vector<std::shared_ptr<Stream>> live;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        streams_.erase(std::remove_if(streams_.begin(), streams_.end(),
                                      [](const std::weak_ptr<Stream>& w) {
                                          auto s = w.lock();
                                          return !s || s->Gone();
                                      }),
                       streams_.end());
        for (const auto& w : streams_) {
            if (auto s = w.lock()) {
                live.push_back(std::move(s));
            }
        }
    }
    for (const auto& s : live) {
        if (!s->Add(text)) {
            LogRefusal("k40ctl: an event-stream client reads too slowly: dropped");
        }
    }
}

void EventHub::Publish(const std::string& name, const std::string& data) {
    Queue("event: " + name + "\ndata: " + data + "\n\n");
}

void EventHub::KeepAlive() {
    Queue(": keep-alive\n\n");
}
