#include "bench/ServeBench.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the child's end; its wait status, or -1 after timeoutMs.
int WaitExit(pid_t pid, std::uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            return status;
        }
        if (r < 0 || Clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string CServeProcess::BinaryPath() {
    return K40CTL_PATH;
}

CServeProcess::~CServeProcess() {
    (void)Stop();
    if (!m_errPath.empty()) {
        unlink(m_errPath.c_str());
    }
}

bool CServeProcess::Start(const std::vector<std::string>& global,
                          const std::vector<std::string>& serve, std::uint32_t timeoutMs) {
    if (m_pid > 0) {
        return false;
    }
    char path[] = "/tmp/k40-serve-bench-XXXXXX";
    const int err = mkstemp(path);
    if (err < 0) {
        return false;
    }
    m_errPath = path;
    std::vector<std::string> words{BinaryPath()};
    words.insert(words.end(), global.begin(), global.end());
    words.insert(words.end(), {"serve", "--listen", "127.0.0.1:0"});
    words.insert(words.end(), serve.begin(), serve.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(err);
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on. A serve left behind by a
        // benchmark that died would poll and listen on.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(126);
        }
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err);
    m_pid = pid;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string marker = "serving http://127.0.0.1:";
    while (Clock::now() < deadline && Running()) {
        const std::string text = ReadFile(m_errPath);
        const std::size_t at = text.find(marker);
        if (at != std::string::npos && text.find('/', at + marker.size()) != std::string::npos) {
            m_port = std::atoi(text.c_str() + at + marker.size());
            return m_port > 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    (void)Stop();
    return false;
}

bool CServeProcess::Running() {
    if (m_pid <= 0 || m_bEnded) {
        return false;
    }
    if (waitpid(m_pid, &m_nStatus, WNOHANG) == m_pid) {
        m_bEnded = true;
    }
    return !m_bEnded;
}

int CServeProcess::Stop(std::uint32_t timeoutMs) {
    if (m_pid <= 0) {
        return -2;
    }
    int status = m_nStatus;
    if (!m_bEnded) {
        (void)kill(m_pid, SIGTERM);
        status = WaitExit(m_pid, timeoutMs);
        if (status == -1) {
            (void)kill(m_pid, SIGKILL);
            (void)WaitExit(m_pid, timeoutMs);
        }
    }
    m_pid = -1;
    m_bEnded = false;
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string CServeProcess::ErrorText() const {
    const std::string text = ReadFile(m_errPath);
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

bool ReadProcMemory(const std::string& pid, CProcMemory* memory) {
    std::ifstream in("/proc/" + pid + "/status");
    std::string line;
    bool rss = false, hwm = false;
    while (std::getline(in, line)) {
        // "VmRSS:\t   12345 kB"
        const double mb = std::atof(line.c_str() + line.find(':') + 1) * 1024.0 / 1e6;
        if (line.rfind("VmRSS:", 0) == 0) {
            memory->rssMb = mb;
            rss = true;
        } else if (line.rfind("VmHWM:", 0) == 0) {
            memory->hwmMb = mb;
            hwm = true;
        }
    }
    return rss && hwm;
}

double ProcCpuSeconds(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    if (paren == std::string::npos) {
        return 0;
    }
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    std::istringstream fields(stat.substr(paren + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            user = std::strtoull(field.c_str(), nullptr, 10);
        } else if (i == 15) {
            system = std::strtoull(field.c_str(), nullptr, 10);
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

CHttpClient::~CHttpClient() {
    Close();
}

void CHttpClient::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    m_buffer.clear();
}

bool CHttpClient::Connect(int port) {
    Close();
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return false;
    }
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CHttpClient::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        const ssize_t n = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return m_fd >= 0;
}

bool CHttpClient::Fill(int timeoutMs) {
    pollfd p{m_fd, POLLIN, 0};
    if (m_fd < 0 || poll(&p, 1, timeoutMs) <= 0) {
        return false;
    }
    char chunk[65536];
    const ssize_t n = recv(m_fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
        return false;
    }
    m_buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
}

bool CHttpClient::ReadResponse(int* status, std::string* body,
                               const std::function<void(const char*, std::size_t)>& sink,
                               int timeoutMs) {
    body->clear();
    std::size_t head = std::string::npos;
    while ((head = m_buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!Fill(timeoutMs)) {
            return false;
        }
    }
    if (m_buffer.rfind("HTTP/1.1 ", 0) != 0) {
        return false;
    }
    *status = std::atoi(m_buffer.c_str() + 9);
    std::string fields = m_buffer.substr(0, head + 2);
    m_buffer.erase(0, head + 4);
    for (char& c : fields) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    const auto deliver = [&](const char* data, std::size_t size) {
        if (sink) {
            sink(data, size);
        } else {
            body->append(data, size);
        }
    };
    if (fields.find("\r\ntransfer-encoding: chunked\r\n") == std::string::npos) {
        const std::size_t field = fields.find("\r\ncontent-length: ");
        std::size_t left = field == std::string::npos
                               ? 0
                               : std::strtoull(fields.c_str() + field + 18, nullptr, 10);
        while (left > 0) {
            if (m_buffer.empty() && !Fill(timeoutMs)) {
                return false;
            }
            const std::size_t take = std::min(left, m_buffer.size());
            deliver(m_buffer.data(), take);
            m_buffer.erase(0, take);
            left -= take;
        }
        return true;
    }
    for (;;) {
        std::size_t line = std::string::npos;
        while ((line = m_buffer.find("\r\n")) == std::string::npos) {
            if (!Fill(timeoutMs)) {
                return false;
            }
        }
        std::size_t left = std::strtoull(m_buffer.c_str(), nullptr, 16);
        m_buffer.erase(0, line + 2);
        if (left == 0) {
            // No trailer fields are sent: the empty line ends the answer.
            while (m_buffer.size() < 2) {
                if (!Fill(timeoutMs)) {
                    return false;
                }
            }
            m_buffer.erase(0, 2);
            return true;
        }
        while (left > 0) {
            if (m_buffer.empty() && !Fill(timeoutMs)) {
                return false;
            }
            const std::size_t take = std::min(left, m_buffer.size());
            deliver(m_buffer.data(), take);
            m_buffer.erase(0, take);
            left -= take;
        }
        while (m_buffer.size() < 2) {  // the chunk's CRLF
            if (!Fill(timeoutMs)) {
                return false;
            }
        }
        m_buffer.erase(0, 2);
    }
}

std::string CHttpClient::Get(const std::string& path, int port, const std::string& extra) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + extra +
           "\r\n";
}

int HttpGet(int port, const std::string& path, std::string* body, const std::string& extra) {
    CHttpClient http;
    int status = 0;
    if (!http.Connect(port) || !http.Send(CHttpClient::Get(path, port, extra)) ||
        !http.ReadResponse(&status, body)) {
        return 0;
    }
    return status;
}
