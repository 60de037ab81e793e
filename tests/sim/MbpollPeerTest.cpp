// mbpoll, an independent Modbus master (built on libmodbus), against k40sim.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <string>

#include "sim/SimUnit.h"
#include "tests/support/SimProcess.h"

namespace {

struct PollResult {
    int exitCode = -1;
    std::string output;          // stdout and stderr
    std::map<int, long> values;  // reference -> value, from lines like "[100]: \t57670 (-7866)"
};

// One poll with PDU addresses (-0), 9600 8N1, a 1 s time-out; with values
// to write, one write of them.
PollResult Mbpoll(const std::string& path, const std::string& args,
                  const std::string& values = "") {
    const std::string cmd = "timeout 10 " MBPOLL_PATH
                            " -m rtu -a 1 -b 9600 -d 8 -s 1 -P none -0 -1 -o 1 " +
                            args + " " + path + " " + values + " 2>&1";
    PollResult r;
    std::FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) {
        r.output += buf;
    }
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    static const std::regex kLine(R"(^\[(\d+)\]:\s+(-?\d+))");
    std::size_t from = 0;
    while (from < r.output.size()) {
        std::size_t to = r.output.find('\n', from);
        if (to == std::string::npos) {
            to = r.output.size();
        }
        const std::string line = r.output.substr(from, to - from);
        std::smatch m;
        if (std::regex_search(line, m, kLine)) {
            r.values[std::stoi(m[1])] = std::stol(m[2]);
        }
        from = to + 1;
    }
    return r;
}

class MbpollPeer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_sim.Start({"--static", "--quiet", "--status", "1234"})); }
    CSimProcess m_sim;
};

}  // namespace

TEST_F(MbpollPeer, ReadsTheAnalogRegisters) {
    const PollResult r = Mbpoll(m_sim.Path(), "-t 4 -r 100 -c 9");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_EQ(r.values.size(), 9u) << r.output;
    for (int i = 0; i < CSimUnit::kAnalogCount; ++i) {
        EXPECT_EQ(r.values.at(100 + i), CSimUnit::RawOf(CSimUnit::NominalValue(i))) << r.output;
    }
}

TEST_F(MbpollPeer, ReadsTheStatusAsCoilsAndAsRegisterZero) {
    PollResult r = Mbpoll(m_sim.Path(), "-t 0 -r 0 -c 15");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_EQ(r.values.size(), 15u) << r.output;
    for (int bit = 0; bit < 15; ++bit) {
        EXPECT_EQ(r.values.at(bit), 0x1234 >> bit & 1) << bit;
    }
    r = Mbpoll(m_sim.Path(), "-t 4 -r 0 -c 1");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.values.at(0), 0x1234) << r.output;
}

TEST_F(MbpollPeer, CoilWriteChangesStatusBitZero) {
    PollResult r = Mbpoll(m_sim.Path(), "-t 0 -r 200", "1");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = Mbpoll(m_sim.Path(), "-t 0 -r 0 -c 2");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.values.at(0), 1);
    EXPECT_EQ(r.values.at(1), 0);
    r = Mbpoll(m_sim.Path(), "-t 0 -r 200", "0");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = Mbpoll(m_sim.Path(), "-t 4 -r 0 -c 1");
    EXPECT_EQ(r.values.at(0), 0x1234) << r.output;
}

TEST_F(MbpollPeer, RegisterWriteReadsBack) {
    PollResult r = Mbpoll(m_sim.Path(), "-t 4 -r 343", "52428");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = Mbpoll(m_sim.Path(), "-t 4 -r 343 -c 2");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.values.at(343), 52428);
    EXPECT_EQ(r.values.at(344), 39321);
}

TEST_F(MbpollPeer, AddressOutsideTheMapIsAnIllegalDataAddress) {
    const PollResult r = Mbpoll(m_sim.Path(), "-t 4 -r 50 -c 1");
    EXPECT_NE(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Illegal data address"), std::string::npos) << r.output;
    EXPECT_TRUE(r.values.empty()) << r.output;
}

// A unit at 8E1 answers mbpoll at even parity, and not at none: the
// simulator's parity is heard by an independent master as by the link.
TEST(MbpollPeerParity, AnswersOnlyAtItsOwnParity) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--static", "--quiet", "--parity", "even"}));
    const PollResult even = Mbpoll(sim.Path(), "-P even -t 4 -r 100 -c 1");
    EXPECT_EQ(even.exitCode, 0) << even.output;
    EXPECT_EQ(even.values.size(), 1u) << even.output;
    const PollResult none = Mbpoll(sim.Path(), "-P none -t 4 -r 100 -c 1");
    EXPECT_NE(none.exitCode, 0) << none.output;
    EXPECT_TRUE(none.values.empty()) << none.output;
}
