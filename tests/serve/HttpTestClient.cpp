#include "HttpTestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace {

constexpr auto kWait = std::chrono::seconds(10);
// A whole answer ends when the server closes: a paced history download of
// megabytes takes longer than kWait in a sanitizer build on a busy machine.
constexpr auto kWholeAnswer = std::chrono::seconds(60);

}  // namespace

bool Eventually(const std::function<bool()>& cond) {
    const auto end = std::chrono::steady_clock::now() + kWait;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TestSocket::TestSocket(int port, int receiveBuffer, const char* from) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return;
    }
    if (receiveBuffer > 0) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    if (from != nullptr) {
        sockaddr_in own{};
        own.sin_family = AF_INET;
        inet_pton(AF_INET, from, &own.sin_addr);
        bind(fd_, reinterpret_cast<sockaddr*>(&own), sizeof own);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Close();
    }
}

TestSocket::~TestSocket() { Close(); }

void TestSocket::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool TestSocket::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

namespace {

// Reads what arrives within the remaining time: false on end of file, reset or time-out.
bool ReadSome(int fd, std::string* into, std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
        return false;
    }
    char chunk[65536];
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
        return false;
    }
    into->append(chunk, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

std::string TestSocket::ReadResponse() {
    const auto end = std::chrono::steady_clock::now() + kWait;
    for (;;) {
        const std::size_t head = buffer_.find("\r\n\r\n");
        if (head != std::string::npos) {
            std::size_t length = 0;
            const std::size_t field = buffer_.find("Content-Length: ");
            if (field != std::string::npos && field < head) {
                length = std::strtoul(buffer_.c_str() + field + 16, nullptr, 10);
            }
            if (buffer_.size() >= head + 4 + length) {
                std::string response = buffer_.substr(0, head + 4 + length);
                buffer_.erase(0, head + 4 + length);
                return response;
            }
        }
        if (fd_ < 0 || !ReadSome(fd_, &buffer_, end)) {
            return "";
        }
    }
}

std::string TestSocket::ReadToEnd() {
    const auto end = std::chrono::steady_clock::now() + kWholeAnswer;
    while (fd_ >= 0 && ReadSome(fd_, &buffer_, end)) {
    }
    std::string all;
    all.swap(buffer_);
    return all;
}

bool TestSocket::ClosedByServer() {
    char c;
    const ssize_t n = recv(fd_, &c, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

int StatusOf(const std::string& response) {
    return response.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(response.c_str() + 9) : 0;
}

std::string BodyOf(const std::string& response) {
    const std::size_t head = response.find("\r\n\r\n");
    return head == std::string::npos ? "" : response.substr(head + 4);
}
