// k40sim as a serial device server (--listen) and behind a real one (socat
// relaying a TCP port to the simulator's pseudo-terminal), with the program's
// link as the master on a tcp:// port name.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/sim/LinkMaster.h"
#include "tests/support/SimProcess.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The fields of the trace's request lines.
std::vector<std::vector<std::string>> TraceLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream words(line);
        lines.emplace_back();
        for (std::string w; words >> w;) {
            lines.back().push_back(w);
        }
    }
    return lines;
}

std::string Hex(const Bytes& bytes) {
    std::string text;
    char two[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        text += two;
    }
    return text;
}

std::string TempFile(const char* stem) {
    char name[64];
    std::snprintf(name, sizeof name, "/tmp/%s-%d-XXXXXX", stem, static_cast<int>(::getpid()));
    const int fd = ::mkstemp(name);
    if (fd >= 0) {
        ::close(fd);
    }
    return name;
}

std::string PortOf(const std::string& tcpName) {
    return tcpName.substr(tcpName.rfind(':') + 1);
}

// A loopback port that nobody listens on at the moment.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

// Opens the link, retrying while the server is still coming up (a refused
// connect fails at once).
bool OpenWithin(CLinkMaster& master, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!master.Open()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// The read of the nine measurements and the manual-operation command: the
// request as the simulator's trace saw it, the reply as it sent it.
void ReadAndCommandMatchTheTrace(CLinkMaster& master, const std::string& trace) {
    ExchangeResult r = master.Run(0x03, 100, 9, ExchangeVariant::QuietRead);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    const Bytes read = master.Reply(r);
    r = master.Run(0x05, 200, 0xFF00, ExchangeVariant::SystemCommand);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    const Bytes command = master.Reply(r);

    const auto lines = TraceLines(trace);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0][2], Hex(Request(1, 3, 100, 9)));
    EXPECT_EQ(lines[0][3], "reply");
    EXPECT_EQ(lines[0][6], Hex(read));
    EXPECT_EQ(read.size(), 23u);
    EXPECT_EQ(lines[1][2], Hex(Request(1, 5, 200, 0xFF00)));
    EXPECT_EQ(lines[1][6], Hex(command));
    EXPECT_EQ(command, Request(1, 5, 200, 0xFF00));  // a write is answered by its echo
}

// A program that nobody here wrote, started and stopped again.
class CPeerProcess {
public:
    explicit CPeerProcess(std::vector<std::string> words) {
        std::vector<char*> argv;
        for (std::string& w : words) {
            argv.push_back(w.data());
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
    }
    ~CPeerProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    bool Started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

// Kills the simulator when the first bytes of the reply have arrived.
class CKillOnFirstByte : public IFrameEcho {
public:
    explicit CKillOnFirstByte(pid_t pid) : m_pid(pid) {}
    void ShowSendFrame() override {}
    void ShowRecvFrame() override {
        if (!m_bKilled) {
            m_bKilled = ::kill(m_pid, SIGKILL) == 0;
        }
    }
    bool Killed() const { return m_bKilled; }

private:
    pid_t m_pid;
    bool m_bKilled = false;
};

TEST(SimTcp, ListenPrintsTheAddressAndServesReadsAndCommandsByteForByte) {
    const std::string trace = TempFile("k40sim-tcp-trace");
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--listen", "127.0.0.1:0", "--static", "--quiet", "--trace", trace}));
    EXPECT_EQ(sim.Path().rfind("tcp://127.0.0.1:", 0), 0u) << sim.Path();
    EXPECT_NE(PortOf(sim.Path()), "0");
    CLinkMaster master(sim.Path());
    ASSERT_TRUE(master.Open());
    ReadAndCommandMatchTheTrace(master, trace);
    EXPECT_EQ(sim.Stop(), 0);
    ::unlink(trace.c_str());
}

TEST(SimTcp, SocatRelayingToThePseudoTerminalCarriesTheFramesUnchanged) {
    const std::string trace = TempFile("k40sim-socat-trace");
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--static", "--quiet", "--trace", trace}));
    const std::string port = std::to_string(FreePort());
    CPeerProcess socat({"socat", "TCP-LISTEN:" + port + ",bind=127.0.0.1,reuseaddr",
                        "FILE:" + sim.Path() + ",rawer"});
    ASSERT_TRUE(socat.Started());
    CLinkMaster master("tcp://127.0.0.1:" + port);
    ASSERT_TRUE(OpenWithin(master, std::chrono::milliseconds(3000)));
    ReadAndCommandMatchTheTrace(master, trace);
    master.Comm().ClosePort();
    EXPECT_EQ(sim.Stop(), 0);
    ::unlink(trace.c_str());
}

TEST(SimTcp, ASecondClientWaitsUntilTheFirstHasClosed) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--listen", "127.0.0.1:0", "--static", "--quiet"}));
    CLinkMaster first(sim.Path(), 100);
    ASSERT_TRUE(first.Open());
    CLinkMaster second(sim.Path(), 100);
    ASSERT_TRUE(second.Open());  // taken into the backlog, not refused
    EXPECT_EQ(second.Run(0x03, 0, 1).outcome, ExchangeOutcome::Timeout);
    EXPECT_EQ(first.Run(0x03, 0, 1).outcome, ExchangeOutcome::Reply);
    first.Comm().ClosePort();
    second.Comm().m_nWaitTime = 1000;
    EXPECT_EQ(second.Run(0x03, 0, 1).outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimTcp, ASimulatorKilledMidReplyCanBeRestartedOnTheSamePort) {
    auto sim = std::make_unique<CSimProcess>();
    // Paced at 1200 baud, the 23 reply bytes take about 190 ms: time to
    // kill the simulator between the first and the last.
    ASSERT_TRUE(sim->Start({"--listen", "127.0.0.1:0", "--static", "--quiet", "--baud", "1200"}));
    const std::string name = sim->Path();
    CLinkMaster master(name, 400);
    ASSERT_TRUE(master.Open());
    CKillOnFirstByte killer(sim->Pid());
    const auto start = Clock::now();
    const ExchangeResult r =
        RunExchange(master.Comm(), ExchangeVariant::Read, 0x03, 100, 9, &killer);
    ASSERT_TRUE(killer.Killed());
    EXPECT_EQ(r.outcome, ExchangeOutcome::Timeout);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_LT(master.Comm().m_nRecvLen, 23);
    EXPECT_EQ(sim->Stop(), -1);  // killed

    sim = std::make_unique<CSimProcess>();
    ASSERT_TRUE(sim->Start({"--listen", "127.0.0.1:" + PortOf(name), "--static", "--quiet"}));
    EXPECT_EQ(sim->Path(), name);
    ASSERT_TRUE(master.Open());  // the next "设  置" connects again
    EXPECT_EQ(master.Run(0x03, 100, 9).outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(sim->Stop(), 0);
}

TEST(SimTcp, EveryFaultKindReachesTheClient) {
    struct Case {
        const char* fault;
        ExchangeOutcome outcome;
    };
    const Case cases[] = {
        {"silent", ExchangeOutcome::Timeout},      {"corrupt", ExchangeOutcome::Timeout},
        {"exception", ExchangeOutcome::Exception}, {"noise", ExchangeOutcome::Reply},
        {"split", ExchangeOutcome::Reply},         {"late", ExchangeOutcome::Timeout},
    };
    for (const Case& c : cases) {
        CSimProcess sim;
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--static",
                                      "--quiet",  "--fault",     c.fault};
        if (c.outcome == ExchangeOutcome::Timeout) {
            // The late reply comes after 300 ms, long after the wait of 150 ms.
            args.insert(args.end(), {"--reply-delay", "300"});
        }
        ASSERT_TRUE(sim.Start(args));
        CLinkMaster master(sim.Path(), 150);
        ASSERT_TRUE(master.Open());
        EXPECT_EQ(master.Run(0x03, 100, 9).outcome, c.outcome) << c.fault;
        EXPECT_EQ(sim.Stop(), 0);
    }
}

}  // namespace
