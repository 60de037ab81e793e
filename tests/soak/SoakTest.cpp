// Soak: the link runs the program's eleven commands thousands of times against
// k40sim with every fault switched on at a few percent, and every outcome is
// held against what the simulator's trace says it did with that request. And
// the simulator vanishing in the middle of an exchange.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include "link/Exchange.h"
#include "link/HexEcho.h"
#include "tests/soak/SimTrace.h"
#include "tests/soak/SoakJudge.h"
#include "tests/support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExchanges = 10000;
constexpr std::uint32_t kWaitMs = 80;
// Late replies come after this; longer than the wait, so they are really late
// and arrive during the next exchange.
constexpr std::uint32_t kLateMs = 100;
constexpr std::uint16_t kStatus = 0x4A5C;  // bits 0 and 1 change with the system commands

struct Command {
    ExchangeVariant variant;
    std::uint8_t function;
    int address;
    std::uint16_t value;
};

// The eleven commands of the program in a cycle that puts a status read after
// each system command; the module number runs through 0..20 (21 and 11 have no
// common factor, so every command meets every module).
Command CommandOf(int k) {
    const int m = k % 21;
    switch (k % 11) {
        case 0:
            return {ExchangeVariant::Read, 0x01, 0, 15};
        case 1:
            return {ExchangeVariant::SystemCommand, 0x05, 200, 0xFF00};
        case 2:
            return {ExchangeVariant::Read, 0x03, 0, 1};
        case 3:
            return {ExchangeVariant::SystemCommand, 0x05, 201, 0xFF00};
        case 4:
            return {ExchangeVariant::QuietRead, 0x03, 100, 9};
        case 5:
            return {ExchangeVariant::PurgingModuleCommand, 0x06, 310 + 3 * m,
                    static_cast<std::uint16_t>(40000 + 7 * m)};
        case 6:
            return {ExchangeVariant::SystemCommand, 0x05, 200, 0x0000};
        case 7:
            return {ExchangeVariant::ModuleCommand, 0x06, 311 + 3 * m,
                    static_cast<std::uint16_t>(30000 + m)};
        case 8:
            return {ExchangeVariant::SystemCommand, 0x05, 201, 0x0000};
        case 9:
            return {ExchangeVariant::ModuleCommand, 0x06, 312 + 3 * m, 0x0000};
        default:
            return {ExchangeVariant::ModuleCommand, 0x06, 312 + 3 * m, 0xFF00};
    }
}

// Renders the frames as the pages would, so the echo path runs with every chunk.
class TextEcho : public IFrameEcho {
public:
    explicit TextEcho(CModbusComm& comm) : m_comm(comm) {}
    void ShowSendFrame() override { m_send = HexEchoSendText(m_comm.m_SendBuf, m_comm.m_nSendLen); }
    void ShowRecvFrame() override {
        m_recv = HexEchoRecvText(m_comm.m_RecvBuf, m_comm.m_nRecvLen);
        m_nReceived = m_comm.m_nRecvLen;
    }
    // Bytes received in the exchange as last shown; -1 when nothing was shown.
    int TakeReceived() { return std::exchange(m_nReceived, -1); }

private:
    CModbusComm& m_comm;
    std::string m_send;
    std::string m_recv;
    int m_nReceived = -1;
};

int OpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    int n = 0;
    while (readdir(dir) != nullptr) {
        ++n;
    }
    closedir(dir);
    return n;
}

double ThreadCpuMs() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return (static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
            static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3);
}

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/k40soak-XXXXXX";
        if (mkdtemp(name) != nullptr) {
            m_path = name;
        }
    }
    ~TempDir() {
        for (const std::string& f : m_files) {
            unlink(f.c_str());
        }
        rmdir(m_path.c_str());
    }
    std::string File(const std::string& name) {
        m_files.push_back(m_path + "/" + name);
        return m_files.back();
    }
    bool Ok() const { return !m_path.empty(); }

private:
    std::string m_path;
    std::vector<std::string> m_files;
};

}  // namespace

TEST(Soak, EveryOutcomeIsWhatTheSimulatorDidWithThatRequest) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string trace = dir.File("trace.txt");
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet",       "--static",
                           "--seed",        "40",
                           "--status",      "4A5C",
                           "--trace",       trace,
                           "--fault",       "silent:2",
                           "--fault",       "exception:2",
                           "--fault",       "corrupt:2",
                           "--fault",       "noise:3",
                           "--fault",       "split:3",
                           "--fault",       "late:2",
                           "--reply-delay", std::to_string(kLateMs)}));
    setenv("K40_COM1", sim.Path().c_str(), 1);

    const int descriptors = OpenDescriptors();
    std::vector<SoakExchange> exchanges(kExchanges);
    const auto start = Clock::now();
    {
        CModbusComm comm;
        comm.m_nWaitTime = kWaitMs;
        ASSERT_EQ(comm.InitPort(), 1);
        TextEcho echo(comm);
        for (int k = 0; k < kExchanges; ++k) {
            const Command c = CommandOf(k);
            const auto t0 = Clock::now();
            const ExchangeResult r =
                RunExchange(comm, c.variant, c.function, c.address, c.value, &echo);
            SoakExchange& x = exchanges[k];
            x.wallMs = MsSince(t0);
            x.variant = c.variant;
            x.request.assign(comm.m_SendBuf, comm.m_SendBuf + 8);
            x.outcome = r.outcome;
            x.received = echo.TakeReceived();
            x.code = r.exceptionCode;
            if (r.outcome != ExchangeOutcome::Timeout) {
                x.reply.assign(comm.m_RecvBuf, comm.m_RecvBuf + r.replyLength);
            }
        }
    }
    const double seconds = MsSince(start) / 1000.0;
    EXPECT_EQ(OpenDescriptors(), descriptors) << "descriptors left open by the link";
    EXPECT_EQ(sim.Stop(), 0) << "the simulator did not run through";

    std::vector<TraceRecord> records;
    std::string error;
    ASSERT_TRUE(CSimTrace::Load(trace, records, error)) << error;
    CSoakJudge judge(kWaitMs, kLateMs, kStatus);
    judge.Judge(exchanges, records);

    std::printf("soak: %d exchanges in %.1f s: %d Reply, %d Exception, %d Timeout\n%s", kExchanges,
                seconds, judge.Count(ExchangeOutcome::Reply),
                judge.Count(ExchangeOutcome::Exception), judge.Count(ExchangeOutcome::Timeout),
                judge.BreakdownText().c_str());
    const auto& failures = judge.Failures();
    for (std::size_t i = 0; i < failures.size() && i < 30; ++i) {
        ADD_FAILURE() << failures[i];
    }
    EXPECT_TRUE(failures.empty()) << failures.size() << " exchanges misreported";

    // The run met every fault, or it proved less than it claims.
    for (const char* fault : {"silent", "exception", "corrupt", "noise", "split", "late"}) {
        int n = 0;
        for (const TraceRecord& r : records) {
            n += r.Has(fault) ? 1 : 0;
        }
        EXPECT_GT(n, 10) << fault;
    }
}

TEST(Soak, SimulatorVanishingMidExchangeEndsInATimeoutWithoutSpinning) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string link = dir.File("com1");
    const std::string trace = dir.File("trace.txt");
    constexpr std::uint32_t kWait = 600;
    setenv("K40_COM1", link.c_str(), 1);
    const int descriptors = OpenDescriptors();
    {
        CSimProcess sim;
        ASSERT_TRUE(sim.Start({"--quiet", "--link", link, "--trace", trace, "--fault", "silent"}));
        CModbusComm comm;
        comm.m_nWaitTime = kWait;
        ASSERT_EQ(comm.InitPort(), 1);

        // Kills the simulator once it has the request, so the master is waiting.
        const auto t0 = Clock::now();
        std::atomic<double> killedAtMs{-1.0};
        std::thread killer([&] {
            const auto deadline = Clock::now() + std::chrono::milliseconds(kWait);
            for (;;) {
                std::ifstream in(trace);
                std::string line;
                bool seen = false;
                while (std::getline(in, line)) {
                    seen = seen || (!line.empty() && line[0] != '#');
                }
                if (seen || Clock::now() > deadline) {
                    break;
                }
                const timespec ts{0, 1000000};
                nanosleep(&ts, nullptr);
            }
            (void)kill(sim.Pid(), SIGKILL);
            killedAtMs = MsSince(t0);
        });
        const double cpu0 = ThreadCpuMs();
        const ExchangeResult r = RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, nullptr);
        const double wall = MsSince(t0);
        const double cpu = ThreadCpuMs() - cpu0;
        killer.join();
        EXPECT_FALSE(sim.Running());
        EXPECT_EQ(r.outcome, ExchangeOutcome::Timeout);
        EXPECT_GE(wall + 1.0, kWait);
        EXPECT_GE(killedAtMs, 0.0);
        EXPECT_LT(killedAtMs, wall - 100.0) << "the simulator was not killed mid-exchange";
        EXPECT_LT(cpu, 0.05 * kWait) << "ms of processor time while waiting on a dead line";
        std::printf(
            "vanish: killed after %.1f ms, time-out after %.1f ms, %.2f ms processor time\n",
            killedAtMs.load(), wall, cpu);

        // Back again on the same path: reopening gives a working line.
        CSimProcess again;
        ASSERT_TRUE(again.Start({"--quiet", "--static", "--link", link}));
        ASSERT_EQ(comm.InitPort(), 1);
        const ExchangeResult after = RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, nullptr);
        EXPECT_EQ(after.outcome, ExchangeOutcome::Reply);
        EXPECT_EQ(again.Stop(), 0);
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
}
