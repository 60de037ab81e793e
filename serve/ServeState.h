// What serve's poller tells, kept for the HTTP side: the snapshot /metrics and
// /api/v1/readings are made from, the history, the last 200 frames, and the
// event stream. The poller's thread writes it through the sink calls; the
// server's threads read it; one lock guards it, held only to copy.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "master/Poller.h"
#include "serve/EventHub.h"
#include "serve/ScanHistory.h"
#include "serve/ServeSnapshot.h"

class ServeState : public PollSink {
public:
    // base: the snapshot's fixed fields (port, slave, interval, commands...).
    ServeState(const UnitLink& link, ServeSnapshot base, std::chrono::seconds keep);

    void OnScan(const ReadRecord& record, const ScanStatus& status) override;
    void OnMissedScan(const ScanStatus& status) override;
    void OnLink(const LinkEvent& event) override;
    void OnFrame(const LinkFrame& frame) override;
    // A scan made before serve started (read back from the history file):
    // into the history only, the counters and the last scan stay serve's own.
    void Restore(const ReadRecord& record);

    // A command's outcome (its JSON) to the event stream.
    void PublishCommand(const std::string& json) { hub_.Publish("command", json); }

    ServeSnapshot Snapshot();
    // The last frames, oldest first, as a JSON array.
    std::string FramesJson();
    // The history since a time, streamed in pieces (CSV with its header, or
    // JSON Lines), each piece copied under the lock and rendered outside it.
    std::shared_ptr<ChunkSource> History(HistoryFormat format,
                                         std::chrono::system_clock::time_point since);
    EventHub& Events() { return hub_; }

    static constexpr std::size_t kFrames = 200;

private:
    class HistoryStream;
    void Count(const ScanStatus& status);
    // The alarms a scan with a reply shows: their since kept, or ended.
    void NoteAlarms(const ReadRecord& record);

    const UnitLink& link_;
    std::mutex mutex_;
    ServeSnapshot snap_;
    ScanHistory history_;
    std::deque<LinkFrame> frames_;
    EventHub hub_;
};

// One frame as JSON: {"time", "direction": "request"|"reply", "hex"}.
std::string FrameJson(const LinkFrame& frame);
