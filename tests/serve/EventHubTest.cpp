// The event stream's bounds: a client that reads keeps its stream while one
// that is behind is ended once all queues together pass their total.
#include "serve/EventHub.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/serve/HttpTestClient.h"

namespace {

TEST(EventHub, ClientsBehindAreEndedBeyondTheTotal) {
    EventHub hub(1024 * 1024, 64 * 1024);  // each alone could hold 1 MiB
    const auto reading = hub.Subscribe(), behind = hub.Subscribe();
    const std::string data(10 * 1024, 'x');
    std::string chunk;
    ASSERT_EQ(reading->Next(&chunk), ChunkSource::Pull::Chunk);  // the retry line
    for (int i = 0; i < 20; ++i) {
        hub.Publish("scan", data);
        ASSERT_TRUE(Eventually([&] { return reading->Next(&chunk) == ChunkSource::Pull::Chunk; }))
            << i;
    }
    std::string held;
    EXPECT_EQ(behind->Next(&held), ChunkSource::Pull::End);
    hub.Publish("scan", data);
    EXPECT_TRUE(Eventually([&] { return reading->Next(&chunk) == ChunkSource::Pull::Chunk; }));
}

}  // namespace
