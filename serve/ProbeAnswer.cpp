#include "serve/ProbeAnswer.h"

#include <algorithm>

#include "formats/PrometheusFormat.h"
#include "formats/PrometheusText.h"
#include "link/LineDiagnosis.h"
#include "master/ScanScope.h"

const char* const kPrometheusContentType = "text/plain; version=0.0.4; charset=utf-8";

namespace {

// A scan is a connect and two reads (the analog registers, then the bits).
constexpr int kScanSteps = 3;
// Below this a reply wait can only time out, even on loopback.
constexpr int kMinExchangeWaitMs = 50;
constexpr auto kMaxBudget = std::chrono::minutes(2);
constexpr auto kMaxMargin = std::chrono::milliseconds(500);

// The one value of a query parameter: false when it is given more than once.
bool OneValue(const HttpRequest& request, const std::string& name, std::string* value,
              bool* present) {
    const auto count = request.query.count(name);
    *present = count == 1;
    if (count == 1) {
        *value = request.query.find(name)->second;
    }
    return count <= 1;
}

// Decimal digits only, as k40ctl's --slave; -1 for anything else.
int SlaveNumber(const std::string& text) {
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    return std::stoi(text);
}

// "10", "9.5", "0.25": decimal seconds into ms; -1 for anything else.
long long SecondsToMs(const std::string& text) {
    long long whole = 0, fraction = 0, scale = 1000;
    bool point = false, digits = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (!point) {
                whole = std::min(whole * 10 + (c - '0'), 1000000LL);
            } else if (scale > 1) {
                scale /= 10;
                fraction += (c - '0') * scale;
            }
        } else {
            return -1;
        }
    }
    return digits ? whole * 1000 + fraction : -1;
}

}  // namespace

bool ParseProbeRequest(const HttpRequest& request, const ProbeRules& rules, ProbeRequest* probe,
                       std::string* why) {
    std::string target, slave;
    bool hasTarget = false, hasSlave = false;
    if (!OneValue(request, "target", &target, &hasTarget) ||
        !OneValue(request, "slave", &slave, &hasSlave)) {
        *why = "target and slave may be given once each";
        return false;
    }
    if (!hasTarget) {
        *why = "no target: /probe?target=tcp://HOST:PORT&slave=N";
        return false;
    }
    probe->verdict = ParseProbeTarget(target, rules, &probe->target, why);
    if (probe->verdict == TargetVerdict::Refused) {
        return false;
    }
    const bool unitId = probe->target.kind == ProbeKind::ModbusTcp;
    probe->slave = hasSlave ? SlaveNumber(slave) : 1;
    if (probe->slave < 0 || probe->slave > 255 ||
        (!unitId && (probe->slave == 0 || probe->slave == 255))) {
        *why = "slave " + slave + " is not " +
               (unitId ? "a unit id 0..255" : "a slave address 1..254 (0..255 with mbtcp://)");
        return false;
    }
    return true;
}

std::chrono::milliseconds ProbeBudget(const std::string& scrapeTimeout, int waitMs) {
    const long long ms = SecondsToMs(scrapeTimeout);
    if (ms <= 0) {
        return std::chrono::milliseconds(static_cast<long long>(kScanSteps) * waitMs);
    }
    const std::chrono::milliseconds timeout(ms);
    const auto margin = std::min<std::chrono::milliseconds>(timeout / 10, kMaxMargin);
    return std::min<std::chrono::milliseconds>(timeout - margin, kMaxBudget);
}

int ExchangeWaitMs(std::chrono::milliseconds left, int waitMs) {
    const long long share = left.count() / kScanSteps;
    return share < kMinExchangeWaitMs ? 0 : static_cast<int>(std::min<long long>(share, waitMs));
}

std::string ProbeFailure(const ReadRecord& record, int waitMs) {
    switch (record.outcome) {
        case ReadOutcome::Reply:
            return {};
        case ReadOutcome::Exception:
            return "exception reply " + ExceptionText(record);
        case ReadOutcome::Timeout:
            break;
    }
    const bool closed = record.finding == CLineDiagnosis::Name(LineFinding::PeerClosed);
    std::string text = closed ? std::string("no reply")
                              : "no reply within " + std::to_string(waitMs) + " ms";
    if (!record.finding.empty() && !closed) {
        text += " (" + record.finding + ")";
    }
    return closed ? text + ": the target closed the connection" : text;
}

std::string ProbeText(const ReadRecord& record, const std::string& target, int slave,
                      double seconds, const std::string& reason) {
    std::string text;
    if (!reason.empty()) {
        std::string line =
            "# k40ctl probe of " + target + " (slave " + std::to_string(slave) + "): " + reason;
        std::replace(line.begin(), line.end(), '\n', ' ');
        std::replace(line.begin(), line.end(), '\r', ' ');
        text += line + "\n";
    }
    PrometheusScrape scrape{target, slave};
    scrape.scanCounters = false;
    static const std::vector<SignalReading> columns = ScanColumns(ScanScope::All);
    text += PrometheusText(record, columns, scrape);
    text +=
        "# HELP k40_probe_duration_seconds How long the probe took: name lookup, connect "
        "and scan.\n";
    text += "# TYPE k40_probe_duration_seconds gauge\n";
    text += "k40_probe_duration_seconds " + SampleValue(seconds) + "\n";
    return text;
}
