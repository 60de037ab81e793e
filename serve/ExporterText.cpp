#include "serve/ExporterText.h"

#include "formats/PrometheusFormat.h"
#include "formats/PrometheusText.h"
#include "master/ScanScope.h"

namespace {

void ResponseHistogram(const LinkCounters& counters, const std::string& target, std::string* out) {
    Family(out, "k40_response_seconds", "histogram",
           "Response time of the unit's answers (replies and exception replies), from the "
           "request going out to the answer being complete.");
    const auto buckets = counters.ResponseBuckets();
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        const std::string bound = i < LinkCounters::kBucketMs.size()
                                      ? SampleValue(LinkCounters::kBucketMs[i] / 1000)
                                      : "+Inf";
        *out += "k40_response_seconds_bucket{" + target + ",le=\"" + bound + "\"} " +
                std::to_string(buckets[i]) + "\n";
    }
    *out += "k40_response_seconds_sum{" + target + "} " +
            SampleValue(counters.ResponseSumMs() / 1000) + "\n";
    *out += "k40_response_seconds_count{" + target + "} " +
            std::to_string(counters.ResponseCount()) + "\n";
}

void LinkFailures(const LinkCounters& counters, const std::string& target, std::string* out) {
    Family(out, "k40_link_failures_total", "counter",
           "Exchanges that failed, by what the line showed; other-transaction counts Modbus "
           "TCP replies discarded for another transaction.");
    for (const FailureCount& f : counters.Failures()) {
        *out += "k40_link_failures_total{" + target + ",kind=" + LabelValue(f.kind) + "} " +
                std::to_string(f.count) + "\n";
    }
}

}  // namespace

std::string ExporterText(const ServeSnapshot& s) {
    // A measurement is current only from a scan that got a reply, and only
    // while the port that made it is still open.
    const bool current =
        s.anyScan && s.state == LinkState::Answering && s.last.outcome == ReadOutcome::Reply;
    const ReadRecord none;  // no reply: no measurement, k40_up 0
    // The columns' texts are converted from the tables' GBK once, not on
    // every scrape.
    static const std::vector<SignalReading> columns = ScanColumns(ScanScope::All);
    std::string out = PrometheusText(current ? s.last : none, columns,
                                     {s.port, s.slave, s.scans, s.failedScans});
    const std::string target = TargetLabels(s.port, s.slave);
    Family(&out, "k40_last_scan_timestamp_seconds", "gauge",
           "When the last scan that got a reply was made, in Unix seconds.");
    if (s.lastGoodScan) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            s.lastGoodScan->time_since_epoch())
                            .count();
        out += "k40_last_scan_timestamp_seconds{" + target + "} " +
               SampleValue(static_cast<double>(ms) / 1000) + "\n";
    }
    // With the last scan's time it tells a stale exporter from a slow one:
    // no good scan for several intervals while k40_up still says 1.
    Family(&out, "k40_scan_interval_seconds", "gauge",
           "The configured time between two scans of the unit, in seconds.");
    out += "k40_scan_interval_seconds{" + target + "} " + SampleValue(s.intervalSeconds) + "\n";
    ResponseHistogram(s.counters, target, &out);
    LinkFailures(s.counters, target, &out);
    Family(&out, "k40_build_info", "gauge", "The version of k40ctl serving these metrics.");
    out += "k40_build_info{version=" + LabelValue(s.version) + "} 1\n";
    return out;
}
