// What the probe's tests share: a loopback listener that counts connections
// and never answers, the answers of a prober collected for awaiting, the
// samples of a Prometheus text, and promtool's verdict on one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serve/Http.h"

// Listens on 127.0.0.1 (ports of the system's choice), accepts every
// connection, reads and drops what comes and closes when the peer does: a
// device server whose unit is silent. Counts connections across its ports.
class FakeListener {
public:
    explicit FakeListener(int ports = 1);
    ~FakeListener();
    FakeListener(const FakeListener&) = delete;
    FakeListener& operator=(const FakeListener&) = delete;

    int Port(int index = 0) const { return ports_[static_cast<std::size_t>(index)]; }
    std::string Target(int index = 0) const {
        return "tcp://127.0.0.1:" + std::to_string(Port(index));
    }
    int Accepted() const { return accepted_; }
    int Open() const { return open_; }
    int MostOpen() const { return mostOpen_; }
    // The client ports of the connections accepted so far, in order.
    std::vector<int> PeerPorts() const;

private:
    void Loop();

    std::vector<int> listeners_, ports_;
    std::atomic<int> accepted_{0}, open_{0}, mostOpen_{0};
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<int> peerPorts_;
    std::thread thread_;
};

// Connects to 127.0.0.1:port and returns the socket (its local port in *own).
int ConnectLoopback(int port, int* own);

// A prober's answers, each kept as it comes.
class Answers {
public:
    std::function<void(HttpResponse)> Respond();
    // Waits (in 100 ms steps, at most cap) until n answers are in.
    bool Await(std::size_t n, std::chrono::milliseconds cap = std::chrono::seconds(30));
    std::vector<HttpResponse> Got() const;
    std::size_t Count() const;

private:
    struct State {
        mutable std::mutex mutex;
        std::vector<HttpResponse> got;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Waits (in 100 ms steps, at most cap) until condition holds.
bool AwaitTrue(const std::function<bool()>& condition,
               std::chrono::milliseconds cap = std::chrono::seconds(30));

HttpRequest ProbeRequestOf(const std::string& target, const std::string& slave = "",
                           const std::string& scrapeTimeout = "");

// The samples of a Prometheus text: "name{labels}" (as written) to value;
// comments and HELP/TYPE lines are left out.
std::map<std::string, std::string> Samples(const std::string& text);
// Samples whose name is `name`.
int CountSamples(const std::string& text, const std::string& name);

// promtool check metrics on the text: its exit status, 0 when clean; its
// output in *out. -1 when promtool is not there.
int PromtoolCheck(const std::string& text, std::string* out);
