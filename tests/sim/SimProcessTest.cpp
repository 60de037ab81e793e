// The k40sim binary on a real pseudo-terminal, with the program's link layer
// as the master.
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <sstream>
#include <tuple>

#include "link/posix/TermiosDevice.h"
#include "sim/SimUnit.h"
#include "tests/sim/LinkMaster.h"
#include "tests/support/SimProcess.h"

namespace {

std::uint16_t Reg(const Bytes& reply, int i) {
    return static_cast<std::uint16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
}

std::string TempDir() {
    char name[] = "/tmp/k40sim-test-XXXXXX";
    return mkdtemp(name) != nullptr ? name : "";
}

// The fields of the last line of a trace file.
std::vector<std::string> LastTraceLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') {
            last = line;
        }
    }
    std::istringstream words(last);
    std::vector<std::string> fields;
    for (std::string w; words >> w;) {
        fields.push_back(w);
    }
    return fields;
}

}  // namespace

TEST(SimProcess, LinkReadsTheAnalogValues) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--static", "--quiet"}));
    CLinkMaster master(sim.Path());
    ASSERT_TRUE(master.Open());
    const ExchangeResult r = master.Run(0x03, 100, 9, ExchangeVariant::QuietRead);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    const Bytes reply = master.Reply(r);
    ASSERT_EQ(reply.size(), 23u);
    for (int i = 0; i < CSimUnit::kAnalogCount; ++i) {
        EXPECT_EQ(Reg(reply, i), CSimUnit::RawOf(CSimUnit::NominalValue(i))) << 100 + i;
    }
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimProcess, ManualCommandShowsInTheStatusBits) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--status", "0"}));
    CLinkMaster master(sim.Path());
    ASSERT_TRUE(master.Open());
    ExchangeResult r = master.Run(0x05, 200, 0xFF00, ExchangeVariant::SystemCommand);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(master.Reply(r), Request(1, 5, 200, 0xFF00));
    r = master.Run(0x01, 0, 15);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(master.Reply(r), WithCrc({1, 1, 2, 0x01, 0x00}));
    // And a module command through the variant that does not purge first.
    r = master.Run(0x06, 372, 0xFF00, ExchangeVariant::ModuleCommand);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    r = master.Run(0x03, 370, 3);
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(Reg(master.Reply(r), 2), 0xFF00);
}

TEST(SimProcess, ExceptionForAnAddressOutsideTheMap) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet"}));
    CLinkMaster master(sim.Path());
    ASSERT_TRUE(master.Open());
    const ExchangeResult r = master.Run(0x03, 200, 1);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Exception);
    EXPECT_EQ(r.exceptionCode, 0x02);
}

TEST(SimProcess, AnotherSlaveAddressGetsNoReply) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--slave", "2"}));
    CLinkMaster master(sim.Path(), 150);
    ASSERT_TRUE(master.Open());
    EXPECT_EQ(master.Run(0x03, 0, 1).outcome, ExchangeOutcome::Timeout);
    master.Comm().m_nSlaveAddr = 2;
    EXPECT_EQ(master.Run(0x03, 0, 1).outcome, ExchangeOutcome::Reply);
}

class SimProcessStop : public ::testing::TestWithParam<int> {};

TEST_P(SimProcessStop, RemovesTheLinkAndExitsCleanly) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/com1";
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--link", link}));
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim.Path(), target);
    {
        CLinkMaster master(link);
        ASSERT_TRUE(master.Open());
        EXPECT_EQ(master.Run(0x03, 0, 1).outcome, ExchangeOutcome::Reply);
    }
    ASSERT_EQ(kill(sim.Pid(), GetParam()), 0);
    EXPECT_EQ(sim.Stop(), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is still there";
    rmdir(dir.c_str());
}

INSTANTIATE_TEST_SUITE_P(Signals, SimProcessStop, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

// A second simulator on the link of one that still runs is refused and the
// first keeps its link; the link a killed simulator left behind is replaced.
TEST(SimProcess, ALinkInUseIsRefusedAStaleOneReplaced) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/com1";
    auto target = [&] {
        char path[256] = {};
        return readlink(link.c_str(), path, sizeof path - 1) > 0 ? std::string(path) : "";
    };
    CSimProcess first;
    ASSERT_TRUE(first.Start({"--quiet", "--link", link}));
    std::string said;
    FILE* second =
        popen((CSimProcess::BinaryPath() + " --quiet --link " + link + " 2>&1").c_str(), "r");
    ASSERT_NE(second, nullptr);
    for (char buf[256]; fgets(buf, sizeof buf, second) != nullptr;) {
        said += buf;
    }
    const int status = pclose(second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << said;
    EXPECT_NE(said.find("pid " + std::to_string(first.Pid())), std::string::npos) << said;
    EXPECT_EQ(target(), first.Path());

    ASSERT_EQ(kill(first.Pid(), SIGKILL), 0);
    EXPECT_EQ(first.Stop(), -1);
    EXPECT_EQ(target(), first.Path()) << "a killed simulator cannot remove its link";
    CSimProcess third;
    ASSERT_TRUE(third.Start({"--quiet", "--link", link}));
    EXPECT_EQ(target(), third.Path());
    CLinkMaster master(link);
    ASSERT_TRUE(master.Open());
    EXPECT_EQ(master.Run(0x03, 0, 1).outcome, ExchangeOutcome::Reply);
    EXPECT_EQ(third.Stop(), 0);
    rmdir(dir.c_str());
}

namespace {

// Run in a child process as the user that the simulator runs as: three
// clients in a row open the port like the program does (flock and TIOCEXCL),
// exchange a frame and close it. 0 when all went well, else the step that failed.
int ExclusiveRounds(const std::string& path) {
    setenv("K40_COM1", path.c_str(), 1);
    for (int round = 0; round < 3; ++round) {
        CModbusComm comm;
        comm.m_nWaitTime = 500;
        // The previous client's exclusive mark is lifted when the simulator
        // sees it close; wait for that (it takes well under a millisecond).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (comm.InitPort() != 1) {
            if (std::chrono::steady_clock::now() > deadline) {
                return 20 + round;
            }
            const timespec ts{0, 1000000};
            nanosleep(&ts, nullptr);
        }
        if (CTermiosDevice::Open(path) != nullptr) {
            return 30 + round;  // not exclusive while held
        }
        if (RunExchange(comm, ExchangeVariant::Read, 0x03, 0, 1, nullptr).outcome !=
            ExchangeOutcome::Reply) {
            return 40 + round;
        }
        comm.ClosePort();
    }
    return 0;
}

}  // namespace

TEST(SimProcess, ClientsTakeThePortExclusivelyOneAfterAnother) {
    // Root may open a terminal despite TIOCEXCL; run both sides as an
    // ordinary user so that the test sees what users see.
    const bool root = geteuid() == 0;
    const uid_t nobody = 65534;
    CSimProcess sim;
    if (root) {
        sim.RunAs(nobody, nobody);
    }
    if (!sim.Start({"--quiet", "--static"})) {
        if (root) {
            GTEST_SKIP() << "k40sim cannot run as an ordinary user here";
        }
        FAIL() << "k40sim did not start";
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
            _exit(10);
        }
        _exit(ExclusiveRounds(sim.Path()));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    // 2x: reopen refused; 3x: a second open while held succeeded; 4x: no reply.
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(sim.Stop(), 0);
}

struct FaultRun {
    std::vector<std::string> args;
    std::uint32_t waitMs;
    ExchangeOutcome outcome;
    std::uint8_t code;
    const char* traceOutcome;
    const char* traceFaults;
};

class SimProcessFault : public ::testing::TestWithParam<FaultRun> {};

TEST_P(SimProcessFault, ReachesTheMasterAsTheTraceSays) {
    const FaultRun& f = GetParam();
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    const std::string trace = dir + "/trace.txt";
    std::vector<std::string> args{"--quiet", "--trace", trace};
    args.insert(args.end(), f.args.begin(), f.args.end());
    CSimProcess sim;
    ASSERT_TRUE(sim.Start(args));
    CLinkMaster master(sim.Path(), f.waitMs);
    ASSERT_TRUE(master.Open());
    const ExchangeResult r = master.Run(0x03, 100, 9);
    EXPECT_EQ(r.outcome, f.outcome);
    EXPECT_EQ(r.exceptionCode, f.code);
    const std::vector<std::string> fields = LastTraceLine(trace);
    ASSERT_EQ(fields.size(), 9u);
    EXPECT_EQ(fields[0], "1");
    EXPECT_EQ(fields[2], "010300640009C413");
    EXPECT_EQ(fields[3], f.traceOutcome);
    EXPECT_EQ(fields[5], f.traceFaults);
    EXPECT_EQ(sim.Stop(), 0);
    unlink(trace.c_str());
    rmdir(dir.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimProcessFault,
    ::testing::Values(
        FaultRun{{}, 500, ExchangeOutcome::Reply, 0, "reply", "-"},
        FaultRun{{"--fault", "silent"}, 150, ExchangeOutcome::Timeout, 0, "silent", "silent"},
        FaultRun{
            {"--fault", "exception"}, 500, ExchangeOutcome::Exception, 6, "exception", "exception"},
        FaultRun{{"--fault", "corrupt"}, 150, ExchangeOutcome::Timeout, 0, "reply", "corrupt"},
        FaultRun{{"--fault", "noise", "--fault", "split"},
                 500,
                 ExchangeOutcome::Reply,
                 0,
                 "reply",
                 "noise,split"},
        FaultRun{{"--fault", "late", "--reply-delay", "400"},
                 150,
                 ExchangeOutcome::Timeout,
                 0,
                 "reply",
                 "late"},
        FaultRun{{"--reply-delay", "30"}, 500, ExchangeOutcome::Reply, 0, "reply", "-"}),
    [](const ::testing::TestParamInfo<FaultRun>& p) {
        std::string name;
        for (const std::string& a : p.param.args) {
            for (char ch : a + ' ') {
                if (std::isalnum(static_cast<unsigned char>(ch))) {
                    name += ch;
                } else if (!name.empty() && name.back() != '_') {
                    name += '_';
                }
            }
        }
        while (!name.empty() && name.back() == '_') {
            name.pop_back();
        }
        return name.empty() ? std::string("none") : name;
    });

TEST(SimProcess, PacedRepliesTakeTheLinesTime) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--baud", "1200"}));
    CLinkMaster master(sim.Path(), 2000);
    master.Comm().m_nBaud = 1;  // 1200, as the unit listens
    ASSERT_TRUE(master.Open());
    const auto start = std::chrono::steady_clock::now();
    const ExchangeResult r = master.Run(0x03, 100, 9);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(r.outcome, ExchangeOutcome::Reply);
    // 8 request bytes, 3.5 characters of silence, 23 reply bytes at 120 characters a second.
    EXPECT_GE(took, std::chrono::milliseconds((8 * 2 + 7 + 23 * 2) * 1000 / 240 - 5));
}

// The unit hears only its own parity: a master at another one (set on its
// side of the pseudo-terminal) gets no reply; stop bits do not matter.
TEST(SimProcess, AnswersOnlyItsOwnParity) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--parity", "even"}));
    CLinkMaster master(sim.Path());
    for (const auto& [parity, stopBits, answers] :
         {std::tuple{Parity::Even, 1, true}, std::tuple{Parity::None, 1, false},
          std::tuple{Parity::Odd, 1, false}, std::tuple{Parity::Even, 2, true}}) {
        const LineSettings line{9600, parity, stopBits};
        SCOPED_TRACE(LineName(line));
        ASSERT_TRUE(master.Comm().SetLineSettings(line));
        ASSERT_TRUE(master.Open());
        const ExchangeResult r = master.Run(0x03, 100, 9);
        EXPECT_EQ(r.outcome, answers ? ExchangeOutcome::Reply : ExchangeOutcome::Timeout);
    }
}

TEST(SimProcess, CommandLineExitCodes) {
    const std::string bin = CSimProcess::BinaryPath();
    auto run = [&](const std::string& args) {
        const int status = std::system((bin + " " + args + " >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(run("--bogus"), 2);
    EXPECT_EQ(run("--fault noise:200"), 2);
    EXPECT_EQ(run("--device /nonexistent/tty"), 1);
}
