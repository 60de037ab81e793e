// The link against k40sim on a pseudo-terminal behind a simulated echoing
// adapter, with the simulator's line faults: a unit that does not answer is
// never reported as having answered, and a live one works in every mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/LineDiagnosis.h"
#include "tests/sim/LinkMaster.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr auto R = ExchangeOutcome::Reply;
constexpr auto T = ExchangeOutcome::Timeout;

struct Step {
    std::uint8_t function;
    int address;
    std::uint16_t value;
    ExchangeVariant variant;
    ExchangeOutcome outcome;
};

// Manual operation on, then the status word read back shows bit 0.
Step Read(ExchangeOutcome o) {
    return {0x03, 0, 1, ExchangeVariant::Read, o};
}
Step Manual(ExchangeOutcome o) {
    return {0x05, 200, 0xFF00, ExchangeVariant::SystemCommand, o};
}
Step ModuleOff(ExchangeOutcome o) {
    return {0x06, 312, 0xFF00, ExchangeVariant::ModuleCommand, o};
}

struct SimCase {
    const char* name;
    std::vector<std::string> args;
    EchoMode mode;
    std::vector<Step> steps;
};

void PrintTo(const SimCase& c, std::ostream* os) {
    *os << c.name;
}

class AdapterEcho : public ::testing::TestWithParam<SimCase> {};

}  // namespace

TEST_P(AdapterEcho, Outcomes) {
    const SimCase& c = GetParam();
    CSimProcess sim;
    std::vector<std::string> args = {"--quiet", "--static"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_TRUE(sim.Start(args));
    CLinkMaster master(sim.Path(), 150);
    master.Comm().m_echoMode = c.mode;
    ASSERT_TRUE(master.Open());
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const Step& s = c.steps[i];
        const ExchangeResult r = master.Run(s.function, s.address, s.value, s.variant);
        EXPECT_EQ(r.outcome, s.outcome) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sim, AdapterEcho,
    ::testing::Values(
        SimCase{"LiveEchoOn", {"--adapter-echo"}, EchoMode::On, {Manual(R), Read(R), ModuleOff(R)}},
        SimCase{"LiveAuto",
                {"--adapter-echo"},
                EchoMode::Auto,
                {Read(R), Manual(R), ModuleOff(R), Read(R)}},
        SimCase{"DeadEchoOn",
                {"--adapter-echo", "--fault", "silent"},
                EchoMode::On,
                {Manual(T), ModuleOff(T), Read(T)}},
        SimCase{"DeadAutoAfterARead",
                {"--adapter-echo", "--fault", "silent"},
                EchoMode::Auto,
                {Read(T), Manual(T), ModuleOff(T)}},
        SimCase{"PartialEchoOn",
                {"--fault", "partial-echo"},
                EchoMode::On,
                {Read(T), Manual(T), ModuleOff(T)}},
        SimCase{"PlainOff", {}, EchoMode::Off, {Read(R), Manual(R), ModuleOff(R)}},
        SimCase{"PlainAuto", {}, EchoMode::Auto, {Read(R), Manual(R), ModuleOff(R)}},
        SimCase{"PlainOnWritesFailSafe", {}, EchoMode::On, {Read(R), Manual(T), ModuleOff(T)}},
        // A unit at 4800 baud while the master talks at 9600: noise to the unit.
        SimCase{"OtherBaud", {"--baud", "4800"}, EchoMode::Auto, {Read(T), Manual(T)}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(AdapterEchoSim, WritesReachTheUnitThroughTheEcho) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--static", "--adapter-echo"}));
    CLinkMaster master(sim.Path(), 300);
    master.Comm().m_echoMode = EchoMode::On;
    ASSERT_TRUE(master.Open());
    ASSERT_EQ(master.Run(0x05, 200, 0xFF00, ExchangeVariant::SystemCommand).outcome, R);
    const ExchangeResult r = master.Run(0x03, 0, 1);
    ASSERT_EQ(r.outcome, R);
    EXPECT_EQ(master.Reply(r)[4] & 0x01, 0x01);  // status bit 0: manual operation
}

struct FindingCase {
    const char* name;
    std::vector<std::string> args;
    std::uint32_t baudIndex;
    LineFinding finding;
};

void PrintTo(const FindingCase& c, std::ostream* os) {
    *os << c.name;
}

class SimFindings : public ::testing::TestWithParam<FindingCase> {};

// What the link keeps of a failed read tells the fault the simulator put on the line.
TEST_P(SimFindings, OfAFailedRead) {
    const FindingCase& c = GetParam();
    CSimProcess sim;
    std::vector<std::string> args = {"--quiet", "--static"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_TRUE(sim.Start(args));
    CLinkMaster master(sim.Path(), 150);
    master.Comm().m_nBaud = static_cast<int>(c.baudIndex);
    ASSERT_TRUE(master.Open());
    const ExchangeResult r = master.Run(0x03, 100, 9);
    EXPECT_EQ(CLineDiagnosis::Name(CLineDiagnosis::OfExchange(master.Comm(), r).finding),
              std::string(CLineDiagnosis::Name(c.finding)));
}

INSTANTIATE_TEST_SUITE_P(
    Sim, SimFindings,
    ::testing::Values(
        FindingCase{"Answered", {}, 4, LineFinding::Answered},
        FindingCase{"Silent", {"--fault", "silent"}, 4, LineFinding::Nothing},
        FindingCase{"OtherBaud", {"--baud", "9600"}, 5, LineFinding::Nothing},
        FindingCase{"EchoOnly", {"--adapter-echo", "--fault", "silent"}, 4, LineFinding::EchoOnly},
        FindingCase{"Corrupt", {"--fault", "corrupt"}, 4, LineFinding::CrcError},
        FindingCase{"WrongSlave", {"--fault", "wrong-slave"}, 4, LineFinding::OtherSlave},
        FindingCase{"Busy", {"--fault", "exception"}, 4, LineFinding::Exception}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(AdapterEchoSim, IgnoredWriteIsAcknowledgedButChangesNothing) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--static", "--fault", "ignore"}));
    CLinkMaster master(sim.Path(), 300);
    ASSERT_TRUE(master.Open());
    EXPECT_EQ(master.Run(0x05, 200, 0xFF00, ExchangeVariant::SystemCommand).outcome, R);
    const ExchangeResult r = master.Run(0x03, 0, 1);
    ASSERT_EQ(r.outcome, R);
    EXPECT_EQ(master.Reply(r)[4] & 0x01, 0x00);  // still automatic operation
}
