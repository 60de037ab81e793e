// The poller against k40sim on a pseudo-terminal: tasks posted from other
// threads run on the loop's thread between scans, never inside one, and every
// frame of a scan reaches the sinks in order.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "master/Poller.h"
#include "tests/support/SimProcess.h"

namespace {

class CountingSink : public PollSink {
public:
    explicit CountingSink(Poller& poller) : poller_(poller) {}
    void OnScan(const ReadRecord& record, const ScanStatus&) override {
        replies += record.outcome == ReadOutcome::Reply ? 1 : 0;
        inScan = false;
        if (++scans == 2) {
            // Posted from another thread while the loop pauses.
            std::thread([this] {
                poller_.Post([this](UnitLink& link) {
                    taskSawOpenLink = link.IsOpen();
                    taskInsideScan = inScan.load();
                    taskAfterScans = scans.load();
                });
            }).join();
        }
    }
    void OnFrame(const LinkFrame& frame) override {
        inScan = true;
        frames.push_back(frame);
    }

    Poller& poller_;
    std::atomic<int> scans{0}, replies{0}, taskAfterScans{-1};
    std::atomic<bool> inScan{false}, taskSawOpenLink{false}, taskInsideScan{true};
    std::vector<LinkFrame> frames;
};

TEST(PollerTest, TasksRunBetweenScansAndFramesPairUp) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--static", "--quiet"}));
    UnitLink link(sim.Path(), LineSettings{}, 1, 500, nullptr);
    Poller poller({ScanScope::All, {}, 0.05, 4}, link);
    CountingSink sink(poller);
    poller.AddSink(&sink);
    std::string why;
    ASSERT_TRUE(poller.Open(&why)) << why;
    EXPECT_EQ(poller.Run(), PollOutcome::Finished);

    EXPECT_EQ(sink.scans, 4);
    EXPECT_EQ(sink.replies, 4);
    EXPECT_EQ(sink.taskAfterScans, 2);  // before the third scan
    EXPECT_TRUE(sink.taskSawOpenLink);
    EXPECT_FALSE(sink.taskInsideScan);
    // Two exchanges a scan, each a request and its reply: 03 then 01.
    ASSERT_EQ(sink.frames.size(), 16u);
    for (std::size_t i = 0; i < sink.frames.size(); ++i) {
        const LinkFrame& f = sink.frames[i];
        EXPECT_EQ(f.sent, i % 2 == 0) << i;
        ASSERT_GE(f.bytes.size(), 5u) << i;
        EXPECT_EQ(f.bytes[1], i % 4 < 2 ? 0x03 : 0x01) << i;
    }
}

}  // namespace
