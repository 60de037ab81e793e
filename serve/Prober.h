// GET /probe?target=T&slave=N of `k40ctl serve`: one scan of the unit at T
// per request, answered in the Prometheus text format, so that one exporter
// serves a fleet (the target comes from the scrape configuration, as with
// snmp_exporter and blackbox_exporter). Only reads ever go to the unit.
//
// The scans run on threads of the prober, never on the HTTP server's: a probe
// waits for name lookups, connects and replies. Probes of one line (the same
// device server, gateway or serial port) run one at a time, since a device
// server often takes one client and an RS-485 line carries one exchange;
// probes of different lines run side by side, `parallel` at most. A probe
// fits the scraper's time-out: one that cannot start in time answers k40_up 0
// rather than late.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link/EchoMode.h"
#include "link/LineSettings.h"
#include "master/ReadRecord.h"
#include "serve/Http.h"
#include "serve/ProbeAnswer.h"
#include "serve/ProbeTargets.h"

struct ProberSettings {
    LineSettings line;  // for serial targets
    EchoMode echo = EchoMode::Auto;
    int waitMs = 1500;  // --wait: the longest reply wait of an exchange
    int parallel = 16;  // --probe-parallel: probes of different lines at once
    // Probes waiting for a line or a free thread; beyond it 503. 0: 64 ×
    // parallel: a fleet's scrapes all come at once, and a probe that cannot
    // start within its scrape's time answers k40_up 0 anyway.
    std::size_t queueLimit = 0;
};

class Prober {
public:
    Prober(ProbeRules rules, ProberSettings settings);
    // Answers the probes still waiting with 503, waits for the running ones
    // (each ends within its own time budget, at most three reply waits) and
    // joins the threads.
    ~Prober();
    Prober(const Prober&) = delete;
    Prober& operator=(const Prober&) = delete;

    // GET /probe: 400 at once for a malformed request or a target that is not
    // allowed (nothing is opened), 503 when too many probes wait, otherwise
    // 200 with the scan from a prober thread (k40_up 0 when the unit could not
    // be reached or did not answer). Never blocks; any thread.
    void Handle(const HttpRequest& request, std::function<void(HttpResponse)> respond);

    // The prober's own families for the exporter's /metrics: k40_build_info,
    // k40_probes_total by result, k40_probe_duration_seconds as a histogram,
    // the probes running and waiting. Any thread. Without buildInfo where
    // the unit's exporter text already has it.
    std::string MetricsText(bool buildInfo = true) const;

private:
    using Clock = std::chrono::steady_clock;
    enum Result { kUp, kDown, kRefused, kOverloaded, kResults };
    struct Job {
        ProbeRequest probe;
        Clock::time_point start, deadline;
        std::function<void(HttpResponse)> respond;
    };
    struct LateJob {
        Job job;
        std::string reason;  // empty: the prober is stopping
    };

    // A thread's loop: answers the probes that can no longer start in time
    // and, when it scans, runs the next probe whose line is free.
    void Work(bool scans);
    std::vector<LateJob> TakeLate(Clock::time_point now);  // mutex_ held
    void AnswerLate(LateJob& late);
    void Run(Job& job);
    // The scan of the job's target: *record (no reply when it could not be
    // made) and the reason of a failure; *refused when the target's name
    // resolved to an address that is not allowed.
    void Scan(const Job& job, ReadRecord* record, std::string* reason, bool* refused) const;
    void Answer(Job& job, const ReadRecord& record, const std::string& reason);
    void Count(Result result, double seconds = -1);

    const ProbeRules rules_;
    const ProberSettings settings_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::set<std::string> busyLines_;
    std::size_t running_ = 0;
    bool stopping_ = false;
    std::uint64_t results_[kResults] = {};
    std::vector<std::uint64_t> buckets_;  // answered scans by duration, cumulative at output
    double secondsSum_ = 0;
    std::uint64_t scans_ = 0;
    std::vector<std::thread> threads_;
};
