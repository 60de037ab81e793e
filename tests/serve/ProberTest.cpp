// The prober against k40sim on loopback and on a pseudo-terminal, and
// against a silent listener that counts connections: scans side by side,
// one line at a time, answers in time, refusals before any connect, and the
// bounds of its queue. All traffic stays on 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "serve/Prober.h"
#include "tests/serve/ProbeTestSupport.h"
#include "tests/support/SimProcess.h"

namespace {

std::string UpSample(const std::string& target, int slave = 1) {
    return "k40_up{port=\"" + target + "\",slave=\"" + std::to_string(slave) + "\"}";
}

void ExpectPromtoolClean(const std::string& text) {
    std::string out;
    const int status = PromtoolCheck(text, &out);
    if (status >= 0) {
        EXPECT_EQ(status, 0) << out << text;
    }
}

ProberSettings Settings(int waitMs, int parallel = 4, std::size_t queueLimit = 0) {
    ProberSettings settings;
    settings.waitMs = waitMs;
    settings.parallel = parallel;
    settings.queueLimit = queueLimit;
    return settings;
}

ProbeRules OnlyRules(const std::string& option) {
    ProbeRules rules;
    std::string why;
    EXPECT_TRUE(AddProbeTarget(option, &rules, &why)) << why;
    return rules;
}

TEST(Prober, ScansTwoSimulatedUnitsSideBySide) {
    CSimProcess first, second;
    ASSERT_TRUE(first.Start({"--listen", "127.0.0.1:0", "--static", "--quiet"}));
    ASSERT_TRUE(second.Start({"--listen", "127.0.0.1:0", "--static", "--quiet"}));
    Prober prober(ProbeRules{}, Settings(1500));
    Answers a, b;
    prober.Handle(ProbeRequestOf(first.Path(), "", "5"), a.Respond());
    prober.Handle(ProbeRequestOf(second.Path(), "1", "5"), b.Respond());
    ASSERT_TRUE(a.Await(1) && b.Await(1));
    for (const auto& [answers, target] : {std::pair{&a, first.Path()}, {&b, second.Path()}}) {
        const HttpResponse response = answers->Got().at(0);
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.contentType, "text/plain; version=0.0.4; charset=utf-8");
        EXPECT_EQ(Samples(response.body)[UpSample(target)], "1") << response.body;
        EXPECT_EQ(CountSamples(response.body, "k40_analog_value"), 9) << response.body;
        EXPECT_NE(response.body.find("k40_analog_value{port=\"" + target + "\""),
                  std::string::npos);
        ExpectPromtoolClean(response.body);
    }
    const std::string metrics = prober.MetricsText();
    EXPECT_EQ(Samples(metrics)["k40_probes_total{result=\"up\"}"], "2") << metrics;
    EXPECT_EQ(Samples(metrics)["k40_probe_request_duration_seconds_count"], "2") << metrics;
    ExpectPromtoolClean(metrics);
}

TEST(Prober, ScansASerialPortOnlyWhenListed) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--static", "--quiet"}));
    ProbeRules rules;
    std::string why;
    ASSERT_TRUE(AddProbePort(sim.Path(), &rules, &why)) << why;
    Prober prober(rules, Settings(1500));
    Answers listed, other;
    prober.Handle(ProbeRequestOf(sim.Path(), "1", "5"), listed.Respond());
    prober.Handle(ProbeRequestOf(sim.Path() + "x", "1", "5"), other.Respond());
    ASSERT_EQ(other.Count(), 1u);  // refused at once
    EXPECT_EQ(other.Got()[0].status, 400);
    ASSERT_TRUE(listed.Await(1));
    EXPECT_EQ(Samples(listed.Got()[0].body)[UpSample(sim.Path())], "1") << listed.Got()[0].body;
}

TEST(Prober, AnswersDownInTimeWhenTheUnitIsGone) {
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--listen", "127.0.0.1:0", "--static", "--quiet"}));
    const std::string target = sim.Path();
    Prober prober(ProbeRules{}, Settings(500));
    Answers before, after;
    prober.Handle(ProbeRequestOf(target, "", "2"), before.Respond());
    ASSERT_TRUE(before.Await(1));
    EXPECT_EQ(Samples(before.Got()[0].body)[UpSample(target)], "1");
    ASSERT_EQ(sim.Stop(), 0);
    const auto start = std::chrono::steady_clock::now();
    prober.Handle(ProbeRequestOf(target, "", "2"), after.Respond());
    ASSERT_TRUE(after.Await(1, std::chrono::seconds(2)));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const HttpResponse response = after.Got()[0];
    EXPECT_EQ(response.status, 200);  // the exporter is up; the target is not
    EXPECT_EQ(Samples(response.body)[UpSample(target)], "0") << response.body;
    EXPECT_EQ(CountSamples(response.body, "k40_analog_value"), 0);
    EXPECT_NE(response.body.find("# k40ctl probe of " + target), std::string::npos);
    EXPECT_LE(std::stod(Samples(response.body)["k40_probe_duration_seconds"]), took);
    ExpectPromtoolClean(response.body);
}

TEST(Prober, RefusesTargetsOutsideTheRulesWithoutConnecting) {
    FakeListener listener;
    const std::string port = std::to_string(listener.Port());
    struct Case {
        ProbeRules rules;
        std::string target, slave;
    };
    const Case cases[] = {
        {ProbeRules{}, "tcp://192.0.2.1:502", ""},  // never tried: not loopback
        {OnlyRules("127.0.0.2/32"), listener.Target(), ""},
        {OnlyRules("127.0.0.2/32"), "tcp://localhost:" + port, ""},  // after the lookup
        {OnlyRules("127.0.0.1:1"), listener.Target(), ""},
        {ProbeRules{}, listener.Target(), "0"},
        {ProbeRules{}, "/dev/ttyS0", ""},
    };
    for (const Case& c : cases) {
        Prober prober(c.rules, Settings(500));
        Answers answers;
        prober.Handle(ProbeRequestOf(c.target, c.slave, "2"), answers.Respond());
        ASSERT_TRUE(answers.Await(1)) << c.target;
        EXPECT_EQ(answers.Got()[0].status, 400) << c.target << ": " << answers.Got()[0].body;
        EXPECT_EQ(Samples(prober.MetricsText())["k40_probes_total{result=\"refused\"}"], "1");
    }
    // A connection the prober had made would be accepted before this one.
    int own = 0;
    const int fd = ConnectLoopback(listener.Port(), &own);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(AwaitTrue([&] { return listener.Accepted() >= 1; }));
    EXPECT_EQ(listener.PeerPorts(), std::vector<int>{own});
    ::close(fd);
}

TEST(Prober, ProbesOneLineAtATimeAndDifferentLinesTogether) {
    FakeListener listener(2);
    Prober prober(ProbeRules{}, Settings(1000));
    Answers same;
    prober.Handle(ProbeRequestOf(listener.Target(0), "", "10"), same.Respond());
    prober.Handle(ProbeRequestOf("mbtcp://127.0.0.1:" + std::to_string(listener.Port(0)), "", "10"),
                  same.Respond());
    ASSERT_TRUE(same.Await(2));
    ASSERT_TRUE(AwaitTrue([&] { return listener.Open() == 0; }));
    EXPECT_EQ(listener.Accepted(), 2);  // both scanned, one after the other
    EXPECT_EQ(listener.MostOpen(), 1);
    for (const HttpResponse& response : same.Got()) {
        EXPECT_EQ(response.status, 200);
        EXPECT_NE(response.body.find("no reply within 1000 ms"), std::string::npos)
            << response.body;
    }
    // Each holds its line for its whole wait: long enough that a loaded
    // machine still starts the second before the first lets go.
    Prober longer(ProbeRules{}, Settings(3000));
    Answers apart;
    longer.Handle(ProbeRequestOf(listener.Target(0), "", "10"), apart.Respond());
    longer.Handle(ProbeRequestOf(listener.Target(1), "", "10"), apart.Respond());
    ASSERT_TRUE(apart.Await(2));
    EXPECT_EQ(listener.Accepted(), 4);
    EXPECT_EQ(listener.MostOpen(), 2);
}

TEST(Prober, AnswersDownWhenItsLineStaysBusyPastItsTimeOut) {
    FakeListener listener;
    Prober prober(ProbeRules{}, Settings(1500));
    Answers first, second;
    prober.Handle(ProbeRequestOf(listener.Target(), "", "10"), first.Respond());
    ASSERT_TRUE(AwaitTrue([&] { return listener.Accepted() == 1; }));
    prober.Handle(ProbeRequestOf(listener.Target(), "", "0.5"), second.Respond());
    ASSERT_TRUE(second.Await(1));
    EXPECT_EQ(first.Count(), 0u);  // still holding the line
    EXPECT_EQ(listener.Accepted(), 1);
    const std::string body = second.Got()[0].body;
    EXPECT_EQ(Samples(body)[UpSample(listener.Target())], "0") << body;
    EXPECT_NE(body.find("another probe of this line"), std::string::npos) << body;
    ASSERT_TRUE(first.Await(1));
}

TEST(Prober, BoundsItsQueueAndAnswersTheWaitingWhenItStops) {
    FakeListener listener(3);
    auto prober = std::make_unique<Prober>(ProbeRules{}, Settings(1500, 1, 1));
    Answers running, waiting, refused;
    prober->Handle(ProbeRequestOf(listener.Target(0), "", "10"), running.Respond());
    ASSERT_TRUE(AwaitTrue([&] { return listener.Accepted() == 1; }));
    prober->Handle(ProbeRequestOf(listener.Target(1), "", "10"), waiting.Respond());
    prober->Handle(ProbeRequestOf(listener.Target(2), "", "10"), refused.Respond());
    ASSERT_EQ(refused.Count(), 1u);
    EXPECT_EQ(refused.Got()[0].status, 503);
    const std::string metrics = prober->MetricsText();
    EXPECT_EQ(Samples(metrics)["k40_probes_running"], "1") << metrics;
    EXPECT_EQ(Samples(metrics)["k40_probes_waiting"], "1") << metrics;
    EXPECT_EQ(Samples(metrics)["k40_probes_total{result=\"overloaded\"}"], "1") << metrics;
    prober.reset();  // waits for the running probe
    ASSERT_EQ(running.Count(), 1u);
    EXPECT_EQ(running.Got()[0].status, 200);
    ASSERT_EQ(waiting.Count(), 1u);
    EXPECT_EQ(waiting.Got()[0].status, 503);
    EXPECT_EQ(listener.Accepted(), 1);
}

}  // namespace
