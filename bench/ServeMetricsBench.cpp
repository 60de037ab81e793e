// Latency of GET /metrics from `k40ctl serve` with many scrapers at once, on
// loopback, while serve polls a k40sim paced at 9600 baud every second as it
// would in service. Each scraper is a kept-alive connection. Two loads:
//
//  - at once: all N scrapers send together, as N Prometheus servers whose
//    scrapes fell on the same instant; when every answer is in, a 10 ms pause
//    and the next round. The goal holds here: p99 under 5 ms with 50.
//  - back to back: each scraper sends its next request as soon as its answer
//    is complete, N always in flight. No scraper asks that often; it shows
//    the throughput, and the latency is then N / throughput (no goal).
//
// One thread here drives all connections with epoll, so the client adds no
// thread switches of its own; each request is timed from its send to the last
// byte of its answer. The first answer of every connection is not counted (it
// meets the accept). A run ends after its requests or after 60 s.
//
//   bench_serve_metrics [--scrapers N] [--requests R]   (R per scraper)
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchTable.h"
#include "bench/SampleSet.h"
#include "bench/ServeBench.h"
#include "bench/Stopwatch.h"
#include "tests/support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kGoalP99Ms = 5.0;
constexpr auto kRunLimit = std::chrono::seconds(60);
constexpr auto kRoundGap = std::chrono::milliseconds(10);

enum class Load { AtOnce, BackToBack };

struct Scraper {
    int fd = -1;
    std::string buffer;
    Clock::time_point sent;
    int left = 0;          // requests still to send, the one in flight included
    bool counted = false;  // the first answer was had
};

struct RunResult {
    CSampleSet ms;
    int failed = 0;  // an answer other than 200, or a connection lost
    bool complete = true;
    double seconds = 0;
    double serveCpuSeconds = 0;
    double clientCpuSeconds = 0;  // this process's, for the same run
};

int ConnectNonBlocking(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// The length of the first complete answer in buffer and its status; 0 while
// it is not complete.
std::size_t CompleteAnswer(const std::string& buffer, int* status) {
    const std::size_t head = buffer.find("\r\n\r\n");
    if (head == std::string::npos) {
        return 0;
    }
    std::string fields = buffer.substr(0, head + 2);
    for (char& c : fields) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    const std::size_t field = fields.find("\r\ncontent-length: ");
    if (field == std::string::npos) {
        *status = -1;  // /metrics is a whole answer: no length is a failure
        return head + 4;
    }
    const std::size_t length = std::strtoull(fields.c_str() + field + 18, nullptr, 10);
    if (buffer.size() < head + 4 + length) {
        return 0;
    }
    *status = buffer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(buffer.c_str() + 9) : -1;
    return head + 4 + length;
}

bool Run(const CServeProcess& serve, int scrapers, int perScraper, Load load, RunResult* result) {
    const std::string request = CHttpClient::Get("/metrics", serve.Port());
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    std::vector<Scraper> all(static_cast<std::size_t>(scrapers));
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i].fd = ConnectNonBlocking(serve.Port());
        if (all[i].fd < 0) {
            std::fprintf(stderr, "bench_serve_metrics: cannot connect: %s\n", std::strerror(errno));
            return false;
        }
        all[i].left = perScraper + 1;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = i;
        epoll_ctl(poller, EPOLL_CTL_ADD, all[i].fd, &event);
    }
    const double cpuStart = ProcCpuSeconds(serve.Pid());
    const CStopwatch client(CStopwatch::Scope::Process);
    const Clock::time_point start = Clock::now();
    int open = scrapers;
    int waiting = 0;  // at once: the answers of this round still to come
    const auto sendAll = [&] {
        for (Scraper& s : all) {
            if (s.fd >= 0) {
                s.sent = Clock::now();
                (void)send(s.fd, request.data(), request.size(), MSG_NOSIGNAL);
                ++waiting;
            }
        }
    };
    sendAll();
    epoll_event events[64];
    char chunk[65536];
    while (open > 0) {
        if (Clock::now() - start > kRunLimit) {
            result->complete = false;
            break;
        }
        const int n = epoll_wait(poller, events, 64, 100);
        const Clock::time_point now = Clock::now();
        for (int e = 0; e < n; ++e) {
            Scraper& s = all[events[e].data.u64];
            bool lost = false;
            for (;;) {
                const ssize_t got = recv(s.fd, chunk, sizeof chunk, 0);
                if (got > 0) {
                    s.buffer.append(chunk, static_cast<std::size_t>(got));
                    continue;
                }
                lost = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
                break;
            }
            int status = 0;
            const std::size_t length = CompleteAnswer(s.buffer, &status);
            if (length > 0) {
                s.buffer.erase(0, length);
                if (s.counted) {
                    result->ms.Add(std::chrono::duration<double, std::milli>(now - s.sent).count());
                }
                s.counted = true;
                result->failed += status == 200 ? 0 : 1;
                --waiting;
                if (--s.left > 0 && status == 200) {
                    if (load == Load::BackToBack) {
                        s.sent = Clock::now();
                        (void)send(s.fd, request.data(), request.size(), MSG_NOSIGNAL);
                    } else if (waiting == 0) {
                        std::this_thread::sleep_for(kRoundGap);
                        sendAll();
                    }
                    continue;
                }
            } else if (!lost) {
                continue;
            }
            if (lost || s.left > 0) {
                ++result->failed;
            }
            if (length == 0) {
                --waiting;  // lost with its request unanswered
            }
            epoll_ctl(poller, EPOLL_CTL_DEL, s.fd, nullptr);
            close(s.fd);
            s.fd = -1;
            --open;
            if (load == Load::AtOnce && waiting == 0 && open > 0) {
                sendAll();  // the round ended with a failure: the others go on
            }
        }
    }
    result->seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result->serveCpuSeconds = ProcCpuSeconds(serve.Pid()) - cpuStart;
    result->clientCpuSeconds = client.CpuMilliseconds() / 1000.0;
    for (Scraper& s : all) {
        if (s.fd >= 0) {
            close(s.fd);
        }
    }
    close(poller);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int scrapers = 50;
    int requests = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--scrapers") == 0 && std::atoi(argv[i + 1]) > 0) {
            scrapers = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--requests") == 0 && std::atoi(argv[i + 1]) > 0) {
            requests = std::atoi(argv[i + 1]);
        } else {
            argc = 0;
        }
    }
    if (argc % 2 != 1) {
        std::fprintf(stderr, "usage: bench_serve_metrics [--scrapers N] [--requests R]\n");
        return 2;
    }
    CSimProcess sim;
    if (!sim.Start({"--quiet", "--static", "--baud", "9600"})) {
        std::fprintf(stderr, "bench_serve_metrics: k40sim did not start\n");
        return 1;
    }
    CServeProcess serve;
    if (!serve.Start({"--port", sim.Path(), "--baud", "9600"}, {})) {
        std::fprintf(stderr, "bench_serve_metrics: k40ctl serve did not start: %s\n",
                     serve.ErrorText().c_str());
        return 1;
    }
    // The first scan fills the exporter's text to its full length.
    std::string body;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (HttpGet(serve.Port(), "/metrics", &body) != 200 ||
           body.find("k40_analog_value{") == std::string::npos) {
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "bench_serve_metrics: no scan within 10 s: %s\n",
                         serve.ErrorText().c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    CBenchTable t("serve 2. GET /metrics (" + std::to_string(body.size()) +
                      " bytes) from k40ctl serve polling k40sim --baud 9600 every second; "
                      "milliseconds from the request to the answer's last byte",
                  {"scrapers", "load", "requests", "p50", "p90", "p99", "max", "requests/s",
                   "serve cpu us/request", "client cpu us/request", "failed"});
    // One scraper alone first: the time of an answer without waiting for others.
    const int single = requests * 5 < 1000 ? requests * 5 : 1000;
    const struct {
        int scrapers;
        Load load;
        int requests;
    } runs[] = {{1, Load::BackToBack, single},
                {scrapers, Load::AtOnce, requests},
                {scrapers, Load::BackToBack, requests}};
    for (const auto& run : runs) {
        RunResult r;
        if (!Run(serve, run.scrapers, run.requests, run.load, &r)) {
            return 1;
        }
        const double count = static_cast<double>(r.ms.Count());
        const char* load = run.scrapers == 1          ? "alone"
                           : run.load == Load::AtOnce ? "at once, 10 ms apart"
                                                      : "back to back";
        t.AddRow({std::to_string(run.scrapers), load, std::to_string(r.ms.Count()),
                  CBenchTable::Number(r.ms.Median(), 3),
                  CBenchTable::Number(r.ms.Percentile(90), 3),
                  CBenchTable::Number(r.ms.Percentile(99), 3), CBenchTable::Number(r.ms.Max(), 3),
                  CBenchTable::Number(count / r.seconds, 0),
                  CBenchTable::Number(r.serveCpuSeconds * 1e6 / count, 0),
                  CBenchTable::Number(r.clientCpuSeconds * 1e6 / count, 0),
                  std::to_string(r.failed) + (r.complete ? "" : " (60 s limit)")});
        if (run.scrapers == scrapers && run.load == Load::AtOnce) {
            const bool met = r.ms.Percentile(99) < kGoalP99Ms && r.failed == 0 && r.complete;
            t.AddNote("p99 with " + std::to_string(scrapers) + " scrapers at once " +
                      CBenchTable::Number(r.ms.Percentile(99), 3) +
                      " ms, every answer 200: " + CBenchTable::Verdict(met, "p99 < 5 ms"));
        }
    }
    t.AddNote(
        "Processor time per request: serve's whole process over the run (its "
        "poller's scans included), and this client's, which shares the two "
        "processors with it.");
    t.Print();
    if (!serve.Running()) {
        std::fprintf(stderr, "bench_serve_metrics: serve ended: %s\n", serve.ErrorText().c_str());
        return 1;
    }
    return 0;
}
