#include "tests/serve/ProbeTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr auto kStep = std::chrono::milliseconds(100);
constexpr const char* kPromtool = "/usr/bin/promtool";

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

FakeListener::FakeListener(int ports) {
    for (int i = 0; i < ports; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        socklen_t length = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(fd, 16) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
            std::abort();  // a test machine without loopback: nothing to test
        }
        listeners_.push_back(fd);
        ports_.push_back(ntohs(a.sin_port));
    }
    thread_ = std::thread([this] { Loop(); });
}

FakeListener::~FakeListener() {
    stop_ = true;
    thread_.join();
    for (int fd : listeners_) {
        ::close(fd);
    }
}

std::vector<int> FakeListener::PeerPorts() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return peerPorts_;
}

void FakeListener::Loop() {
    std::vector<int> connections;
    while (!stop_) {
        std::vector<pollfd> fds;
        for (int fd : listeners_) {
            fds.push_back({fd, POLLIN, 0});
        }
        for (int fd : connections) {
            fds.push_back({fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), static_cast<int>(kStep.count())) <= 0) {
            continue;
        }
        // Closes before accepts: a prober that let go of a line before it
        // connected again must not count as holding it twice.
        std::vector<std::size_t> order;
        for (std::size_t i = listeners_.size(); i < fds.size(); ++i) {
            order.push_back(i);
        }
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            order.push_back(i);
        }
        for (std::size_t i : order) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (i < listeners_.size()) {
                sockaddr_in peer{};
                socklen_t length = sizeof peer;
                const int fd =
                    ::accept4(fds[i].fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
                if (fd >= 0) {
                    connections.push_back(fd);
                    {
                        const std::lock_guard<std::mutex> lock(mutex_);
                        peerPorts_.push_back(ntohs(peer.sin_port));
                    }
                    ++accepted_;
                    mostOpen_ = std::max(mostOpen_.load(), ++open_);
                }
                continue;
            }
            char junk[512];
            if (::recv(fds[i].fd, junk, sizeof junk, MSG_DONTWAIT) <= 0) {
                ::close(fds[i].fd);
                connections.erase(std::find(connections.begin(), connections.end(), fds[i].fd));
                --open_;
            }
        }
    }
    for (int fd : connections) {
        ::close(fd);
    }
}

int ConnectLoopback(int port, int* own) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(port);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        return -1;
    }
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    *own = ntohs(a.sin_port);
    return fd;
}

std::function<void(HttpResponse)> Answers::Respond() {
    return [state = state_](HttpResponse response) {
        const std::lock_guard<std::mutex> lock(state->mutex);
        state->got.push_back(std::move(response));
    };
}

bool Answers::Await(std::size_t n, std::chrono::milliseconds cap) {
    return AwaitTrue([this, n] { return Count() >= n; }, cap);
}

std::vector<HttpResponse> Answers::Got() const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->got;
}

std::size_t Answers::Count() const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->got.size();
}

bool AwaitTrue(const std::function<bool()>& condition, std::chrono::milliseconds cap) {
    const auto end = std::chrono::steady_clock::now() + cap;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(kStep);
    }
    return true;
}

HttpRequest ProbeRequestOf(const std::string& target, const std::string& slave,
                           const std::string& scrapeTimeout) {
    HttpRequest request;
    request.method = "GET";
    request.path = "/probe";
    request.target = "/probe?target=" + target;
    request.query.emplace("target", target);
    if (!slave.empty()) {
        request.query.emplace("slave", slave);
    }
    request.scrapeTimeout = scrapeTimeout;
    return request;
}

std::map<std::string, std::string> Samples(const std::string& text) {
    std::map<std::string, std::string> samples;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t space = line.rfind(' ');
        samples[line.substr(0, space)] = line.substr(space + 1);
    }
    return samples;
}

int CountSamples(const std::string& text, const std::string& name) {
    int n = 0;
    for (const auto& [key, value] : Samples(text)) {
        n += key.substr(0, key.find('{')) == name ? 1 : 0;
    }
    return n;
}

int PromtoolCheck(const std::string& text, std::string* out) {
    if (::access(kPromtool, X_OK) != 0) {
        return -1;
    }
    char path[] = "/tmp/k40probe.XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        return -1;
    }
    ::close(fd);
    std::ofstream(path, std::ios::binary) << text;
    const std::string command = std::string(kPromtool) + " check metrics < " + path + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out->append(buffer, n);
    }
    const int status = ::pclose(pipe);
    std::remove(path);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
