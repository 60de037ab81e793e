// How long `k40ctl serve --history-file` takes to read a day back when it
// starts: 86 400 lines, a day at one scan a second (the most the history
// keeps), written as JsonLine writes them, 1 s apart and ending now.
//
//  1. In this program, as RunServe does it: HistoryFile::Open restoring each
//     scan into a ServeState, five times over the same file (the page cache
//     holds it after the first), timed in wall-clock and processor time.
//  2. The same day with a signal named otherwise in every line, as a file of
//     an older version would be: each line parsed in full by the JSON parser.
//  3. The k40ctl program: `serve --history-file` on the file against a k40sim,
//     from its start to its "serving" line, then GET /api/v1/history counted.
//
// Goal: 1 (median) under 1 s.
//
//   bench_history_load
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/BenchTable.h"
#include "bench/ServeBench.h"
#include "formats/RecordFormat.h"
#include "master/ScanScope.h"
#include "serve/HistoryFile.h"
#include "serve/ScanHistory.h"
#include "serve/ServeState.h"
#include "tests/support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
using Wall = std::chrono::system_clock;

constexpr std::size_t kDay = ScanHistory::kMostScans;
constexpr double kGoalSeconds = 1.0;

// A scan of the day: values moved around plausible ones, the response time
// varied, one status bit that changes by the hour, a failed scan now and then.
ReadRecord DayScan(const std::vector<SignalReading>& columns, std::size_t i, Wall::time_point t) {
    if (i % 997 == 0) {
        return {t,  ReadOutcome::Timeout, 0, "", {}, "nothing",
                "nothing arrived: check the wiring", std::nullopt};
    }
    ReadRecord record{t, ReadOutcome::Reply, 0, "", columns, "", "", 20.0 + (i % 97) / 10.0};
    std::size_t column = 0;
    for (SignalReading& r : record.values) {
        ++column;
        if (r.analog) {
            char text[32];
            std::snprintf(text, sizeof text, "%.1f", 220.0 + ((i * 7 + column * 13) % 41) / 10.0);
            r.text = text;
        } else {
            r.value = r.reg == 2 ? (i / 3600) % 2 : 0;
            r.text = r.value != 0 ? "1" : "0";
        }
    }
    return record;
}

// The day as a file; its size in bytes, 0 when it could not be written.
std::size_t WriteDay(const std::string& path, bool renamed) {
    const std::vector<SignalReading> columns = ScanColumns(ScanScope::All);
    const std::string name = columns[0].name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    const Wall::time_point first = Wall::now() - std::chrono::seconds(kDay - 1);
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < kDay; ++i) {
        std::string line = JsonLine(DayScan(columns, i, first + std::chrono::seconds(i)));
        const std::size_t at = renamed ? line.find(name) : std::string::npos;
        if (at != std::string::npos) {
            line.replace(at, name.size(), "renamed");
        }
        bytes += std::fwrite(line.data(), 1, line.size(), file);
    }
    return std::fclose(file) == 0 ? bytes : 0;
}

struct Load {
    bool ok = false;
    std::size_t scans = 0;
    double seconds = 0, cpuSeconds = 0;
};

Load LoadOnce(const std::string& path) {
    UnitLink link("/dev/null", LineSettings{}, 1, 1500, nullptr);  // never opened
    ServeState state(link, ServeSnapshot{}, std::chrono::hours(24));
    HistoryFile file(path, nullptr, stderr);
    HistoryLoad load;
    std::string why;
    const std::clock_t cpu = std::clock();
    const Clock::time_point start = Clock::now();
    Load l;
    l.ok = file.Open({kDay, Wall::now() - std::chrono::hours(24) - std::chrono::minutes(5)},
                     [&state](const ReadRecord& r) { state.Restore(r); }, &load, &why);
    l.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    l.cpuSeconds = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    l.scans = load.scans;
    if (!l.ok) {
        std::fprintf(stderr, "bench_history_load: %s\n", why.c_str());
    }
    return l;
}

// Five loads: the median and the longest; ok when each restored the day.
Load Median(const std::string& path, double* longest) {
    std::vector<Load> loads;
    for (int i = 0; i < 5; ++i) {
        loads.push_back(LoadOnce(path));
    }
    std::sort(loads.begin(), loads.end(),
              [](const Load& a, const Load& b) { return a.seconds < b.seconds; });
    *longest = loads.back().seconds;
    Load median = loads[2];
    median.ok = std::all_of(loads.begin(), loads.end(),
                            [](const Load& l) { return l.ok && l.scans == kDay; });
    return median;
}

// serve on the file: seconds to its "serving" line, and the history's lines.
bool Program(const std::string& path, double* seconds, std::size_t* lines, std::string* why) {
    CSimProcess sim;
    if (!sim.Start({"--quiet", "--static"})) {
        *why = "k40sim did not start";
        return false;
    }
    CServeProcess serve;
    const Clock::time_point start = Clock::now();
    if (!serve.Start({"--port", sim.Path()}, {"--interval", "1", "--history", "25h", "--history-file", path})) {
        *why = "k40ctl serve did not start: " + serve.ErrorText();
        return false;
    }
    *seconds = std::chrono::duration<double>(Clock::now() - start).count();
    CHttpClient http;
    int status = 0;
    std::string body;
    const bool ok = http.Connect(serve.Port()) &&
                    http.Send(CHttpClient::Get("/api/v1/history", serve.Port())) &&
                    http.ReadResponse(&status, &body,
                                      [lines](const char* data, std::size_t size) {
                                          *lines += static_cast<std::size_t>(
                                              std::count(data, data + size, '\n'));
                                      },
                                      30000) &&
                    status == 200;
    if (serve.Stop() != 0 || !ok) {
        *why = "k40ctl serve did not answer or end cleanly: " + serve.ErrorText();
        return false;
    }
    return true;
}

std::string Seconds(double s) {
    return CBenchTable::Number(s, 3);
}

}  // namespace

int main() {
    char folder[] = "/tmp/k40historybench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("bench_history_load: mkdtemp");
        return 1;
    }
    const std::string path = std::string(folder) + "/day.jsonl";
    CBenchTable t("history file: 86 400 scans (a day at 1 s) read back when serve starts",
                  {"read back", "file MB", "scans", "median s", "longest s", "cpu s (median)",
                   "verdict"});
    bool ran = true;
    for (const bool renamed : {false, true}) {
        const std::size_t bytes = WriteDay(path, renamed);
        double longest = 0;
        const Load l = bytes > 0 ? Median(path, &longest) : Load{};
        ran = ran && l.ok;
        t.AddRow({renamed ? "2. in this program, names of another version (parsed in full)"
                          : "1. in this program, as k40ctl writes it",
                  CBenchTable::Number(bytes / 1e6, 1), std::to_string(l.scans),
                  Seconds(l.seconds), Seconds(longest), Seconds(l.cpuSeconds),
                  renamed ? "(no goal)"
                          : CBenchTable::Verdict(l.ok && l.seconds < kGoalSeconds, "< 1 s")});
    }
    WriteDay(path, false);
    double seconds = 0;
    std::size_t lines = 0;
    std::string why;
    if (Program(path, &seconds, &lines, &why)) {
        t.AddRow({"3. k40ctl serve, start to \"serving\"", "", std::to_string(lines),
                  Seconds(seconds), "", "", "(no goal)"});
    } else {
        std::fprintf(stderr, "bench_history_load: %s\n", why.c_str());
        ran = false;
    }
    t.AddNote("The file is in the page cache (written just before); 3. counts the scans served,"
              " the day and those made since the start.");
    t.Print();
    std::remove(path.c_str());
    rmdir(folder);
    return ran ? 0 : 1;
}
