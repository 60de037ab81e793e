// A bound on streamed answers that cost much to make: a whole history renders
// about 100 MB, and many at once would take the poller's time and the
// memory. A stream holds its slot until the connection lets it go (ended,
// closed, or the client gone).
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "serve/Http.h"

class StreamSlots {
public:
    explicit StreamSlots(int most) : taken_(std::make_shared<std::atomic<int>>(0)), most_(most) {}

    // make()'s stream, counted while it lives; null (make not called) when
    // every slot is taken. Any thread.
    std::shared_ptr<ChunkSource> Start(const std::function<std::shared_ptr<ChunkSource>()>& make);
    int Taken() const { return taken_->load(); }

private:
    std::shared_ptr<std::atomic<int>> taken_;  // outlives the slots if streams outlive it
    const int most_;
};
