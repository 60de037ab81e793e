// What the benchmarks of `k40ctl serve` share: the serve process itself (on
// 127.0.0.1, a port of its own choosing), a blocking HTTP/1.1 client for
// loopback that can take a long answer piece by piece without keeping it, and
// a process's resident memory as /proc tells it.
//
//   CServeProcess serve;
//   serve.Start({"--port", sim.Path(), "--baud", "9600"}, {"--interval", "0"});
//   CHttpClient http;
//   http.Connect(serve.Port());
//   http.Send(CHttpClient::Get("/metrics", serve.Port()));
//   http.ReadResponse(&status, &body);
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CServeProcess {
public:
    CServeProcess() = default;
    CServeProcess(const CServeProcess&) = delete;
    CServeProcess& operator=(const CServeProcess&) = delete;
    ~CServeProcess();  // stops it if it still runs

    // Runs `k40ctl GLOBAL... serve --listen 127.0.0.1:0 SERVE...` with its
    // standard error in a file, and waits at most timeoutMs for the line that
    // names the port. It gets SIGTERM should this process end first. False
    // when it did not start (ErrorText says why).
    bool Start(const std::vector<std::string>& global, const std::vector<std::string>& serve,
               std::uint32_t timeoutMs = 10000);
    // SIGTERM, SIGKILL after timeoutMs; the exit status, -1 when killed.
    int Stop(std::uint32_t timeoutMs = 5000);
    bool Running();

    int Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }
    // The end of what it wrote on standard error.
    std::string ErrorText() const;

    static std::string BinaryPath();

private:
    pid_t m_pid = -1;
    bool m_bEnded = false;
    int m_nStatus = 0;  // the wait status, once reaped by Running()
    int m_port = 0;
    std::string m_errPath;
};

// VmRSS and VmHWM of a process ("self" or a pid), in MB of 10^6 bytes; false
// when /proc has no such process.
struct CProcMemory {
    double rssMb = 0;
    double hwmMb = 0;
};
bool ReadProcMemory(const std::string& pid, CProcMemory* memory);
// User and system processor time of a process so far, in seconds.
double ProcCpuSeconds(pid_t pid);

class CHttpClient {
public:
    CHttpClient() = default;
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;
    ~CHttpClient();

    bool Connect(int port);  // 127.0.0.1:port
    bool Send(const std::string& bytes);
    // One answer: its status and its body, from Content-Length or chunked
    // transfer coding. With a sink the body goes there piece by piece as it
    // arrives and *body stays empty. False on close, malformed answer or no
    // progress within timeoutMs.
    bool ReadResponse(int* status, std::string* body,
                      const std::function<void(const char*, std::size_t)>& sink = {},
                      int timeoutMs = 10000);
    void Close();

    // "GET PATH HTTP/1.1" with the Host the server knows itself by and the
    // extra header lines ("Name: value\r\n" each).
    static std::string Get(const std::string& path, int port, const std::string& extra = {});

private:
    bool Fill(int timeoutMs);

    int m_fd = -1;
    std::string m_buffer;
};

// One GET on a connection of its own: the status (0 when it failed) and body.
int HttpGet(int port, const std::string& path, std::string* body, const std::string& extra = {});
