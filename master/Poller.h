// The one loop that polls the unit: it owns the link, makes a scan every
// interval, reopens a lost port every second, and tells its sinks of each scan
// and each event on the link. The live view, the record files, the Prometheus
// file and the HTTP server are sinks; none of them touches the link. Other
// threads reach the link only through Post, which runs their task on the
// loop's thread between two scans.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "master/ScanScope.h"
#include "master/UnitLink.h"

// A change of the link that is not a scan.
struct LinkEvent {
    enum class Kind {
        Lost,       // the port failed (error or hang-up); reopened every second
        Back,       // reopened after a loss
        LateReply,  // a reply came after its exchange had timed out
    };
    Kind kind = Kind::Lost;
    std::chrono::system_clock::time_point time;
    std::chrono::system_clock::time_point lostSince;  // Lost and Back
    std::string port;
};

class PollSink {
public:
    virtual ~PollSink() = default;
    // A scan made on the open port, already counted in status.
    virtual void OnScan(const ReadRecord& record, const ScanStatus& status) = 0;
    // A scan that fell due while the port was lost: no request went out.
    virtual void OnMissedScan(const ScanStatus& status) { (void)status; }
    virtual void OnLink(const LinkEvent& event) { (void)event; }
    virtual void OnFrame(const LinkFrame& frame) { (void)frame; }
    // The loop stops once a sink failed (an output that cannot be written).
    virtual bool Failed() const { return false; }
    // Once, after the last scan.
    virtual void OnEnd(const ScanStatus& status) { (void)status; }
};

struct PollPlan {
    ScanScope scope = ScanScope::All;
    RawRead raw;  // with ScanScope::Raw
    double intervalSeconds = 1.0;
    long long count = 0;  // 0: until stopped
};

// How a run ended: its count reached or stopped from outside, or a sink failed.
enum class PollOutcome { Finished, SinkFailed };

class Poller {
public:
    using Task = std::function<void(UnitLink&)>;
    // Asked between scans and while waiting: true ends the run (a stop signal,
    // the server going down). None: the run ends by its count or a sink.
    using StopPredicate = std::function<bool()>;

    Poller(PollPlan plan, UnitLink& link, StopPredicate stop = {});
    void AddSink(PollSink* sink) { sinks_.push_back(sink); }

    // Opens the port (false with the reason when it cannot) and scans until
    // the count is reached, the stop predicate holds or a sink failed.
    bool Open(std::string* why);
    PollOutcome Run();

    // Any thread: the task runs on the loop's thread before the next scan (or
    // at once if the loop waits), with the link as it is (it may be closed).
    void Post(Task task);

private:
    void ScanOnce();
    void MissScan();
    void TryReopen();
    void Pause(std::chrono::steady_clock::time_point until);
    bool RunTasks();
    bool More() const;
    bool Stopped() const { return stop_ && stop_(); }
    template <typename F>
    void Each(F f) {
        for (PollSink* sink : sinks_) {
            f(*sink);
        }
    }

    const PollPlan plan_;
    UnitLink& link_;
    const StopPredicate stop_;
    std::vector<PollSink*> sinks_;
    ScanStatus status_;
    std::chrono::system_clock::time_point lostSince_{};
    std::chrono::steady_clock::time_point lastTry_{};
    std::uint64_t lateReplies_ = 0;

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Task> tasks_;
};
