#include "master/Poller.h"

#include <algorithm>

#include "master/LocalTime.h"

namespace {

using Steady = std::chrono::steady_clock;
using Wall = std::chrono::system_clock;

// A lost port is tried again every second.
constexpr auto kReopenEvery = std::chrono::seconds(1);
// How often a wait asks the stop predicate.
constexpr auto kStopCheck = std::chrono::milliseconds(50);

}  // namespace

Poller::Poller(PollPlan plan, UnitLink& link, StopPredicate stop)
    : plan_(std::move(plan)), link_(link), stop_(std::move(stop)) {
    link_.OnFrame([this](const LinkFrame& frame) { Each([&](PollSink& s) { s.OnFrame(frame); }); });
}

bool Poller::Open(std::string* why) {
    return link_.Open(why);
}

bool Poller::More() const {
    if (Stopped() ||
        (plan_.count != 0 && status_.scans >= static_cast<std::uint64_t>(plan_.count))) {
        return false;
    }
    return std::all_of(sinks_.begin(), sinks_.end(),
                       [](const PollSink* s) { return !s->Failed(); });
}

void Poller::ScanOnce() {
    const ReadRecord record = ScanOf(link_, plan_.scope, plan_.raw);
    ++status_.scans;
    if (record.outcome != ReadOutcome::Reply) {
        ++status_.failures;
    }
    // The status line keeps the short form; the counters say the rest.
    status_.lastOutcome = record.outcome == ReadOutcome::Timeout
                              ? "no reply (" + record.finding + ")"
                              : OutcomeMessage(record, link_.WaitMs());
    status_.counters = link_.Counters().StatusLine();
    const std::uint64_t late = link_.Counters().Count(LineFinding::EarlierReply);
    if (late > lateReplies_) {
        lateReplies_ = late;
        const LinkEvent event{LinkEvent::Kind::LateReply, Wall::now(), {}, link_.Port()};
        Each([&](PollSink& s) { s.OnLink(event); });
    }
    // The loss first, so that the scan's record is shown with it.
    if (link_.DeviceFailed()) {
        link_.Close();
        lostSince_ = Wall::now();
        lastTry_ = Steady::now();
        const LinkEvent event{LinkEvent::Kind::Lost, lostSince_, lostSince_, link_.Port()};
        Each([&](PollSink& s) { s.OnLink(event); });
    }
    Each([&](PollSink& s) { s.OnScan(record, status_); });
}

// A scan that fell due while the port was lost: it counts as failed.
void Poller::MissScan() {
    ++status_.scans;
    ++status_.failures;
    ++status_.missed;
    status_.lastOutcome = "port lost since " + ClockTime(lostSince_) + ", reopening";
    Each([&](PollSink& s) { s.OnMissedScan(status_); });
}

void Poller::TryReopen() {
    if (Steady::now() - lastTry_ < kReopenEvery) {
        return;
    }
    lastTry_ = Steady::now();
    std::string why;
    if (link_.Open(&why)) {
        const LinkEvent event{LinkEvent::Kind::Back, Wall::now(), lostSince_, link_.Port()};
        Each([&](PollSink& s) { s.OnLink(event); });
    }
}

void Poller::Post(Task task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_one();
}

// Runs the tasks posted so far; false when there were none.
bool Poller::RunTasks() {
    std::deque<Task> tasks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks.swap(tasks_);
    }
    for (Task& task : tasks) {
        task(link_);
    }
    return !tasks.empty();
}

// Waits until the time point, in short steps so that a stop ends the
// wait, running posted tasks and trying a lost port again every second.
void Poller::Pause(Steady::time_point until) {
    while (!Stopped()) {
        if (RunTasks()) {
            continue;  // a task took time: look at the clock again
        }
        if (Steady::now() >= until) {
            return;
        }
        if (!link_.IsOpen()) {
            TryReopen();
        }
        std::unique_lock<std::mutex> lock(mutex_);
        posted_.wait_for(lock, std::min<Steady::duration>(until - Steady::now(), kStopCheck),
                         [this] { return !tasks_.empty(); });
    }
}

PollOutcome Poller::Run() {
    const auto interval = std::chrono::duration_cast<Steady::duration>(
        std::chrono::duration<double>(plan_.intervalSeconds));
    while (More()) {
        const auto start = Steady::now();
        RunTasks();
        if (!link_.IsOpen()) {
            TryReopen();
        }
        if (link_.IsOpen()) {
            ScanOnce();
        } else {
            MissScan();
        }
        if (More()) {
            // While the port is lost, a scan falls due at most once a second.
            Pause(start +
                  (link_.IsOpen() ? interval : std::max<Steady::duration>(interval, kReopenEvery)));
        }
    }
    RunTasks();  // a task posted at the end still gets its answer
    Each([&](PollSink& s) { s.OnEnd(status_); });
    const bool failed =
        std::any_of(sinks_.begin(), sinks_.end(), [](const PollSink* s) { return s->Failed(); });
    return failed ? PollOutcome::SinkFailed : PollOutcome::Finished;
}
