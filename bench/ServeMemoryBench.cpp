// Resident memory of `k40ctl serve` holding a day of history: 86 400 scans, one
// a second, the most --history keeps. Measured two ways:
//
//  1. In this program, built as RunServe builds serve (cli/Serve.cpp): a
//     UnitLink and a Poller on a k40sim pseudo-terminal, a ServeState with
//     --history 24h as the poller's sink, a ServeApp and an HttpServer with two
//     threads on loopback. The poller makes 60 scans of all (filling the last
//     frames as in service); the last of them is copied into 86 400 records,
//     1 s apart and ending now, their values varied, that go through
//     ServeState::OnScan.
//  2. The k40ctl program itself, `serve --interval 0` against a k40sim
//     without pacing, once its counter says 86 400 scans (the ring is full;
//     the scans are only closer together than a second).
//
// Each then answers GET /api/v1/history?format=csv in full (and, in 1, the
// same as JSON Lines) to a client that counts the rows and keeps none, while
// a thread here samples VmRSS every 5 ms. VmHWM, the most the process was
// ever resident, is held against the goal: under 40 MB (of 10^6 bytes).
//
//   bench_serve_memory [--program-only | --in-process-only]
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "bench/BenchTable.h"
#include "bench/ServeBench.h"
#include "master/Poller.h"
#include "serve/HttpServer.h"
#include "serve/ServeApp.h"
#include "serve/ServeState.h"
#include "tests/support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
using Wall = std::chrono::system_clock;

constexpr std::size_t kDay = 86400;
constexpr double kGoalMb = 40.0;
constexpr auto kFillLimit = std::chrono::seconds(300);

// The largest VmRSS of a process seen while a stretch of work runs.
class RssSampler {
public:
    explicit RssSampler(std::string pid) : pid_(std::move(pid)), thread_([this] { Loop(); }) {}
    ~RssSampler() { Stop(); }
    double Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return peakMb_;
    }

private:
    void Loop() {
        while (!stop_) {
            CProcMemory m;
            if (ReadProcMemory(pid_, &m) && m.rssMb > peakMb_) {
                peakMb_ = m.rssMb;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    const std::string pid_;
    std::atomic<bool> stop_{false};
    double peakMb_ = 0;
    std::thread thread_;
};

struct Fetch {
    bool ok = false;
    std::size_t rows = 0;  // lines, a CSV's header included
    std::size_t bytes = 0;
    double ms = 0;
    double peakRssMb = 0;  // sampled while it ran
};

// The history in full, counted and dropped as it arrives.
Fetch FetchHistory(int port, const std::string& format, const std::string& pid) {
    Fetch f;
    RssSampler sampler(pid);
    const Clock::time_point start = Clock::now();
    CHttpClient http;
    int status = 0;
    std::string body;
    f.ok = http.Connect(port) &&
           http.Send(CHttpClient::Get("/api/v1/history?format=" + format, port)) &&
           http.ReadResponse(
               &status, &body,
               [&f](const char* data, std::size_t size) {
                   f.bytes += size;
                   for (std::size_t i = 0; i < size; ++i) {
                       f.rows += data[i] == '\n' ? 1 : 0;
                   }
               },
               30000) &&
           status == 200;
    f.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    f.peakRssMb = sampler.Stop();
    return f;
}

// A scan of all as it might come an hour into the day: the real scan's values
// moved by a few tenths, the response time varied, a status bit that changes.
ReadRecord DayScan(const ReadRecord& real, std::size_t i, Wall::time_point time) {
    ReadRecord record = real;
    record.time = time;
    record.responseMs = 20.0 + static_cast<double>(i % 97) / 10.0;
    std::size_t column = 0;
    for (SignalReading& r : record.values) {
        ++column;
        if (r.analog) {
            // -2.0 .. +2.0 around the real value, a different step for each column.
            const std::size_t step = (i * 7 + column * 13) % 41;
            const double value = r.value + (static_cast<double>(step) - 20.0) / 10.0;
            char text[32];
            std::snprintf(text, sizeof text, "%.1f", value);
            r.text = text;
            r.value = std::atof(text);
        } else if (r.reg == 2) {
            r.value = (i / 3600) % 2;
            r.text = r.value != 0 ? "1" : "0";
        }
    }
    return record;
}

struct Row {
    std::string what;
    std::size_t scans = 0;
    double startMb = 0, fullMb = 0, hwmMb = 0;
    Fetch csv, jsonl;
    double fillSeconds = 0;
};

bool InProcess(Row* row, std::string* why) {
    CSimProcess sim;
    if (!sim.Start({"--quiet", "--static"})) {
        *why = "k40sim did not start";
        return false;
    }
    CProcMemory m;
    ReadProcMemory("self", &m);
    row->startMb = m.rssMb;
    const Clock::time_point fillStart = Clock::now();

    UnitLink link(sim.Path(), LineSettings{}, 1, 1500, nullptr);
    Poller poller(PollPlan{ScanScope::All, {}, 0.0, 60}, link);
    if (!poller.Open(why)) {
        return false;
    }
    ServeSnapshot base;
    base.port = sim.Path();
    base.version = "bench";
    ServeState state(link, base, std::chrono::hours(24));
    poller.AddSink(&state);
    // The poller's own scans first: they fill the last frames as in service
    // and give the record the day is made of. The day's scans then push them
    // out of the ring, which ends up holding exactly the day.
    poller.Run();
    const ReadRecord real = state.Snapshot().last;
    if (real.outcome != ReadOutcome::Reply || real.values.size() != 24) {
        *why = "the scan of all got no full reply from k40sim";
        return false;
    }
    const Wall::time_point first = Wall::now() - std::chrono::seconds(kDay - 1);
    ScanStatus status;
    for (std::size_t i = 0; i < kDay; ++i) {
        ++status.scans;
        state.OnScan(DayScan(real, i, first + std::chrono::seconds(i)), status);
    }

    ServeApp app(ServeAccess{}, &state, &poller, nullptr);
    HttpServer server(app);
    if (!server.Listen("127.0.0.1", 0, why)) {
        return false;
    }
    app.SetHosts(MakeAllowedHosts("127.0.0.1", server.Port(), {}));
    server.Start(2);
    row->fillSeconds = std::chrono::duration<double>(Clock::now() - fillStart).count();
    std::string readings;
    if (HttpGet(server.Port(), "/api/v1/readings", &readings) != 200) {
        *why = "GET /api/v1/readings failed";
        return false;
    }
    ReadProcMemory("self", &m);
    row->fullMb = m.rssMb;
    row->csv = FetchHistory(server.Port(), "csv", "self");
    row->jsonl = FetchHistory(server.Port(), "jsonl", "self");
    row->scans = row->csv.rows - 1;
    ReadProcMemory("self", &m);
    row->hwmMb = m.hwmMb;
    server.Stop();
    return true;
}

std::uint64_t ScansOf(int port) {
    std::string body;
    if (HttpGet(port, "/api/v1/readings", &body) != 200) {
        return 0;
    }
    const std::size_t at = body.find("\"scans\":");
    return at == std::string::npos ? 0 : std::strtoull(body.c_str() + at + 8, nullptr, 10);
}

bool Program(Row* row, std::string* why) {
    CSimProcess sim;
    if (!sim.Start({"--quiet", "--static"})) {
        *why = "k40sim did not start";
        return false;
    }
    CServeProcess serve;
    if (!serve.Start({"--port", sim.Path()}, {"--interval", "0"})) {
        *why = "k40ctl serve did not start: " + serve.ErrorText();
        return false;
    }
    const std::string pid = std::to_string(serve.Pid());
    CProcMemory m;
    while (ScansOf(serve.Port()) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ReadProcMemory(pid, &m);
    row->startMb = m.rssMb;
    const Clock::time_point fillStart = Clock::now();
    while (ScansOf(serve.Port()) < kDay) {
        if (Clock::now() - fillStart > kFillLimit || !serve.Running()) {
            *why = "k40ctl serve did not make 86 400 scans within 300 s: " + serve.ErrorText();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    row->fillSeconds = std::chrono::duration<double>(Clock::now() - fillStart).count();
    ReadProcMemory(pid, &m);
    row->fullMb = m.rssMb;
    row->csv = FetchHistory(serve.Port(), "csv", pid);
    row->scans = row->csv.rows - 1;
    ReadProcMemory(pid, &m);
    row->hwmMb = m.hwmMb;
    if (serve.Stop() != 0) {
        *why = "k40ctl serve did not end cleanly: " + serve.ErrorText();
        return false;
    }
    return true;
}

std::string Mb(double mb) {
    return CBenchTable::Number(mb, 1);
}

}  // namespace

int main(int argc, char** argv) {
    bool inProcess = true, program = true;
    if (argc == 2 && std::strcmp(argv[1], "--program-only") == 0) {
        inProcess = false;
    } else if (argc == 2 && std::strcmp(argv[1], "--in-process-only") == 0) {
        program = false;
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: bench_serve_memory [--program-only | --in-process-only]\n");
        return 2;
    }
    CBenchTable t(
        "serve 4. Resident memory of serve holding 86 400 scans (a day at 1 s), "
        "while GET /api/v1/history sends them all; MB of 10^6 bytes",
        {"serve", "scans kept", "fill s", "VmRSS start", "VmRSS full", "VmRSS fetching", "VmHWM",
         "CSV bytes", "CSV ms", "verdict"});
    bool ran = true;
    for (const bool one : {true, false}) {
        if ((one && !inProcess) || (!one && !program)) {
            continue;
        }
        Row row;
        std::string why;
        if (!(one ? InProcess(&row, &why) : Program(&row, &why))) {
            std::fprintf(stderr, "bench_serve_memory: %s\n", why.c_str());
            ran = false;
            continue;
        }
        const bool full = row.csv.ok && row.scans == kDay;
        const double peak = std::max(row.csv.peakRssMb, row.jsonl.peakRssMb);
        t.AddRow({one ? "in this program, 86 400 records 1 s apart" : "k40ctl serve, 86 400 scans",
                  std::to_string(row.scans), CBenchTable::Number(row.fillSeconds, 1),
                  Mb(row.startMb), Mb(row.fullMb), Mb(peak), Mb(row.hwmMb),
                  std::to_string(row.csv.bytes), CBenchTable::Number(row.csv.ms, 0),
                  CBenchTable::Verdict(full && row.hwmMb < kGoalMb, "VmHWM < 40 MB") +
                      (full ? "" : ", history not complete")});
        if (one) {
            const bool jsonl = row.jsonl.ok && row.jsonl.rows == kDay;
            t.AddNote("In this program ?format=jsonl too (its peak VmRSS is in the table): " +
                      std::to_string(row.jsonl.rows) + " of 86400 lines, " +
                      std::to_string(row.jsonl.bytes) + " bytes in " +
                      CBenchTable::Number(row.jsonl.ms, 0) + " ms" +
                      (jsonl ? "." : ": NOT COMPLETE (the stream was ended by serve)."));
        }
    }
    t.AddNote(
        "VmRSS start: in this program before the link and the state exist; for k40ctl "
        "after its first scan. VmHWM: the most the process was ever resident.");
    t.Print();
    return ran ? 0 : 1;
}
