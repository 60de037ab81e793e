#include "serve/Prober.h"

#include <algorithm>
#include <utility>

#include "formats/PrometheusFormat.h"
#include "formats/PrometheusText.h"
#include "master/UnitLink.h"

namespace {

// Upper bounds of the probe duration histogram, in seconds.
constexpr double kBuckets[] = {0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30};
constexpr std::size_t kBucketCount = sizeof kBuckets / sizeof kBuckets[0];

const char* const kResultNames[] = {"up", "down", "refused", "overloaded"};

}  // namespace

Prober::Prober(ProbeRules rules, ProberSettings settings)
    : rules_(std::move(rules)), settings_(settings), buckets_(kBucketCount, 0) {
    const int parallel = std::max(1, settings_.parallel);
    threads_.emplace_back([this] { Work(false); });  // keeps the time of the waiting
    for (int i = 0; i < parallel; ++i) {
        threads_.emplace_back([this] { Work(true); });
    }
}

Prober::~Prober() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void Prober::Handle(const HttpRequest& request, std::function<void(HttpResponse)> respond) {
    const Clock::time_point start = Clock::now();
    if (request.method != "GET") {
        HttpResponse response = TextResponse(405, "/probe is read with GET");
        response.headers.emplace_back("Allow", "GET");
        respond(std::move(response));
        return;
    }
    Job job;
    std::string why;
    if (!ParseProbeRequest(request, rules_, &job.probe, &why)) {
        Count(kRefused);
        respond(TextResponse(400, why));
        return;
    }
    job.start = start;
    job.deadline = start + ProbeBudget(request.scrapeTimeout, settings_.waitMs);
    job.respond = std::move(respond);
    const std::size_t limit = settings_.queueLimit != 0
                                  ? settings_.queueLimit
                                  : 64 * static_cast<std::size_t>(std::max(1, settings_.parallel));
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!stopping_ && queue_.size() < limit) {
            queue_.push_back(std::move(job));
            lock.unlock();
            changed_.notify_all();
            return;
        }
    }
    Count(kOverloaded);
    job.respond(TextResponse(503, "too many probes waiting; try again later"));
}

void Prober::Work(bool scans) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        std::vector<LateJob> late = TakeLate(Clock::now());
        if (!late.empty()) {
            lock.unlock();
            for (LateJob& one : late) {
                AnswerLate(one);
            }
            lock.lock();
            continue;
        }
        if (stopping_) {
            return;  // the queue is empty: TakeLate took all of it
        }
        const auto next = std::find_if(queue_.begin(), queue_.end(), [this](const Job& job) {
            return busyLines_.count(job.probe.target.lineKey) == 0;
        });
        if (scans && next != queue_.end()) {
            Job job = std::move(*next);
            queue_.erase(next);
            const std::string line = job.probe.target.lineKey;
            busyLines_.insert(line);
            ++running_;
            lock.unlock();
            Run(job);
            lock.lock();
            busyLines_.erase(line);
            --running_;
            changed_.notify_all();
            continue;
        }
        if (queue_.empty()) {
            changed_.wait(lock);
        } else {
            const auto first = std::min_element(
                queue_.begin(), queue_.end(),
                [](const Job& a, const Job& b) { return a.deadline < b.deadline; });
            changed_.wait_until(lock, first->deadline);
        }
    }
}

std::vector<Prober::LateJob> Prober::TakeLate(Clock::time_point now) {
    std::vector<LateJob> late;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (!stopping_ && it->deadline > now) {
            ++it;
            continue;
        }
        std::string reason;
        if (!stopping_) {
            reason = busyLines_.count(it->probe.target.lineKey) != 0
                         ? "another probe of this line ran until the scrape's time was up"
                         : "every probe thread was busy until the scrape's time was up";
        }
        late.push_back(LateJob{std::move(*it), reason});
        it = queue_.erase(it);
    }
    return late;
}

void Prober::AnswerLate(LateJob& late) {
    if (late.reason.empty()) {
        Count(kOverloaded);
        late.job.respond(TextResponse(503, "the exporter is stopping"));
        return;
    }
    Answer(late.job, ReadRecord{}, late.reason);
}

void Prober::Run(Job& job) {
    ReadRecord record;
    std::string reason;
    bool refused = false;
    Scan(job, &record, &reason, &refused);
    if (refused) {
        Count(kRefused);
        job.respond(TextResponse(400, reason));
        return;
    }
    Answer(job, record, reason);
}

void Prober::Scan(const Job& job, ReadRecord* record, std::string* reason, bool* refused) const {
    const auto left = [&job] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(job.deadline - Clock::now());
    };
    const ProbeTarget& target = job.probe.target;
    std::vector<std::string> names{target.given};
    const char* const noTime = "too little of the scrape's time was left for a scan";
    if (target.kind != ProbeKind::Serial) {
        const int lookupMs = ExchangeWaitMs(left(), settings_.waitMs);
        if (lookupMs == 0) {
            *reason = noTime;
            return;
        }
        // Only the numeric addresses that passed are connected to.
        if (!ResolveProbeTarget(rules_, target, static_cast<std::uint32_t>(lookupMs), &names,
                                reason, refused)) {
            return;
        }
    }
    for (const std::string& name : names) {
        const int waitMs = ExchangeWaitMs(left(), settings_.waitMs);
        if (waitMs == 0) {
            *reason = reason->empty() ? std::string(noTime) : *reason;
            return;
        }
        UnitLink link(name, settings_.line, job.probe.slave, waitMs, nullptr);
        link.SetEchoMode(settings_.echo);
        if (!link.Open(reason)) {
            continue;  // the next address of the name, while time is left
        }
        *record = link.ReadAll({ReadCommand::Analog03, ReadCommand::Coils01});
        link.Close();
        *reason = ProbeFailure(*record, waitMs);
        return;
    }
}

void Prober::Answer(Job& job, const ReadRecord& record, const std::string& reason) {
    const double seconds = std::chrono::duration<double>(Clock::now() - job.start).count();
    Count(record.outcome == ReadOutcome::Reply ? kUp : kDown, seconds);
    HttpResponse response;
    response.contentType = kPrometheusContentType;
    response.body = ProbeText(record, job.probe.target.given, job.probe.slave, seconds, reason);
    job.respond(std::move(response));
}

void Prober::Count(Result result, double seconds) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++results_[result];
    if (seconds < 0) {
        return;
    }
    ++scans_;
    secondsSum_ += seconds;
    for (std::size_t i = 0; i < kBucketCount; ++i) {
        if (seconds <= kBuckets[i]) {
            ++buckets_[i];
            break;
        }
    }
}

std::string Prober::MetricsText(bool buildInfo) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::string out;
    if (buildInfo) {
        Family(&out, "k40_build_info", "gauge", "The k40ctl that serves, as a label; always 1.");
        out += "k40_build_info{version=" + LabelValue(K40_VERSION) + "} 1\n";
    }
    Family(&out, "k40_probes_total", "counter",
           "Probes answered, by result: up (k40_up 1), down (k40_up 0), refused (400: "
           "malformed or not an allowed target), overloaded (503).");
    for (int r = 0; r < kResults; ++r) {
        out += std::string("k40_probes_total{result=\"") + kResultNames[r] + "\"} " +
               std::to_string(results_[r]) + "\n";
    }
    Family(&out, "k40_probe_request_duration_seconds", "histogram",
           "Time from a probe's request to its answer (up or down).");
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < kBucketCount; ++i) {
        cumulative += buckets_[i];
        out += "k40_probe_request_duration_seconds_bucket{le=\"" +
               SampleValue(kBuckets[i]) + "\"} " + std::to_string(cumulative) + "\n";
    }
    out +=
        "k40_probe_request_duration_seconds_bucket{le=\"+Inf\"} " + std::to_string(scans_) + "\n";
    out += "k40_probe_request_duration_seconds_sum " + SampleValue(secondsSum_) + "\n";
    out += "k40_probe_request_duration_seconds_count " + std::to_string(scans_) + "\n";
    Family(&out, "k40_probes_running", "gauge", "Probes scanning their target now.");
    out += "k40_probes_running " + std::to_string(running_) + "\n";
    Family(&out, "k40_probes_waiting", "gauge", "Probes waiting for their line or a thread.");
    out += "k40_probes_waiting " + std::to_string(queue_.size()) + "\n";
    return out;
}
