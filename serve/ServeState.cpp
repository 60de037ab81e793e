#include "serve/ServeState.h"

#include <nlohmann/json.hpp>

#include "formats/RecordFormat.h"
#include "link/HexEcho.h"
#include "serve/ReadingsJson.h"
#include "unit/Alarms.h"

namespace {

using Wall = std::chrono::system_clock;

// Scans copied out of the history under the lock at a time: about 130 KB of
// JSON Lines, well under what the server lets wait for a client (1 MiB),
// which ends a stream that outgrows it.
constexpr std::size_t kScansPerPiece = 64;

nlohmann::json FrameObject(const LinkFrame& frame) {
    return {{"time", Iso8601Local(frame.time)},
            {"direction", frame.sent ? "request" : "reply"},
            {"hex", HexBytes(frame.bytes.data(), static_cast<int>(frame.bytes.size()))}};
}

}  // namespace

std::string FrameJson(const LinkFrame& frame) {
    return FrameObject(frame).dump();
}

class ServeState::HistoryStream : public ChunkSource {
public:
    HistoryStream(ServeState& state, HistoryFormat format, Wall::time_point since)
        : state_(state), format_(format), since_(since) {}

    // The lock is held only to copy the scans out: rendering them (2 kB of
    // JSON a scan) under it made the poller wait a piece's rendering at each
    // of its five takings of the lock a scan, and cut its rate tenfold.
    Pull Next(std::string* chunk) override {
        chunk->clear();
        ScanHistory::Piece piece;
        {
            std::lock_guard<std::mutex> lock(state_.mutex_);
            if (!started_) {
                // The scans made until now: a download never chases the poller.
                started_ = true;
                end_ = state_.history_.EndSequence();
                *chunk = state_.history_.Header(format_);
            }
            state_.history_.Copy(since_, &cursor_, kScansPerPiece, &piece, end_);
        }
        state_.history_.Render(format_, piece, chunk);
        return chunk->empty() ? Pull::End : Pull::Chunk;
    }

private:
    ServeState& state_;
    const HistoryFormat format_;
    const Wall::time_point since_;
    std::uint64_t cursor_ = 0, end_ = 0;
    bool started_ = false;
};

ServeState::ServeState(const UnitLink& link, ServeSnapshot base, std::chrono::seconds keep)
    : link_(link), snap_(std::move(base)), history_(keep) {
    snap_.historySeconds = keep.count();
}

void ServeState::Count(const ScanStatus& status) {
    snap_.scans = status.scans;
    snap_.failedScans = status.failures;
    snap_.missedScans = status.missed;
    snap_.counters = link_.Counters();
}

void ServeState::OnScan(const ReadRecord& record, const ScanStatus& status) {
    std::string json;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Count(status);
        snap_.last = record;
        snap_.anyScan = true;
        const bool reply = record.outcome == ReadOutcome::Reply;
        if (reply) {
            snap_.lastGoodScan = record.time;
            NoteAlarms(record);
        }
        history_.Add(record);
        // A scan that lost the port: the loss says more than its time-out,
        // which only ended the wait on a vanished device.
        if (link_.IsOpen() || snap_.state != LinkState::PortLost) {
            const LinkState state = reply ? LinkState::Answering : LinkState::NoReply;
            if (snap_.state != state) {
                snap_.stateSince = record.time;
                snap_.state = state;
            }
            snap_.finding = reply ? std::string()
                                  : record.outcome == ReadOutcome::Exception ? "exception"
                                                                             : record.finding;
            snap_.diagnosis = reply ? std::string() : OutcomeMessage(record, snap_.waitMs);
        }
        json = ReadingsJson(snap_);
    }
    hub_.Publish("scan", json);
}

void ServeState::Restore(const ReadRecord& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    history_.Add(record);
}

void ServeState::NoteAlarms(const ReadRecord& record) {
    std::map<int, Wall::time_point> since;
    for (const RaisedAlarm& a : RaisedAlarms(record.values)) {
        const auto kept = snap_.alarmSince.find(a.meaning->bit);
        since[a.meaning->bit] = kept != snap_.alarmSince.end() ? kept->second : record.time;
    }
    snap_.alarmSince = std::move(since);
}

void ServeState::OnMissedScan(const ScanStatus& status) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Count(status);
    }
    hub_.KeepAlive();
}

void ServeState::OnLink(const LinkEvent& event) {
    nlohmann::json json = {{"time", Iso8601Local(event.time)}, {"port", event.port}};
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        switch (event.kind) {
            case LinkEvent::Kind::Lost:
                json["kind"] = "lost";
                snap_.state = LinkState::PortLost;
                snap_.stateSince = event.lostSince;
                snap_.finding = "port-lost";
                snap_.diagnosis = event.port + " failed (error or hang-up); reopening it every second";
                break;
            case LinkEvent::Kind::Back:
                json["kind"] = "back";
                json["lost_since"] = Iso8601Local(event.lostSince);
                snap_.state = LinkState::Starting;
                snap_.stateSince = event.time;
                snap_.finding.clear();
                snap_.diagnosis.clear();
                break;
            case LinkEvent::Kind::LateReply:
                json["kind"] = "late-reply";
                break;
        }
        snap_.counters = link_.Counters();
    }
    hub_.Publish("link", json.dump());
}

void ServeState::OnFrame(const LinkFrame& frame) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        frames_.push_back(frame);
        if (frames_.size() > kFrames) {
            frames_.pop_front();
        }
    }
    hub_.Publish("frame", FrameJson(frame));
}

ServeSnapshot ServeState::Snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return snap_;
}

std::string ServeState::FramesJson() {
    nlohmann::json list = nlohmann::json::array();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const LinkFrame& f : frames_) {
        list.push_back(FrameObject(f));
    }
    return list.dump();
}

std::shared_ptr<ChunkSource> ServeState::History(HistoryFormat format, Wall::time_point since) {
    return std::make_shared<HistoryStream>(*this, format, since);
}
