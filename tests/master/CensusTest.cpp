// Who is at an address, as the census asks: 43/14 and its pages, 17 when
// 43/14 gives nothing, a gateway's 0A/0B that mean nobody is there, a device
// that answers everything with an exception, and the unit known by its map.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "master/Census.h"
#include "tests/master/FakeUnitLine.h"

namespace {

using Peer = std::function<Answer(const Bytes& request)>;

int Word(const Bytes& q, int at) {
    return q[static_cast<std::size_t>(at)] << 8 | q[static_cast<std::size_t>(at) + 1];
}

Answer Exception(const Bytes& q, int code) {
    return {From(q[0], {static_cast<std::uint8_t>(q[1] | 0x80), static_cast<std::uint8_t>(code)})};
}

// Any 03 read answered with as many zero registers as it asks.
Answer Zeros(const Bytes& q) {
    const int n = Word(q, 4);
    Bytes pdu = {0x03, static_cast<std::uint8_t>(2 * n)};
    pdu.resize(pdu.size() + static_cast<std::size_t>(2 * n));
    return {From(q[0], pdu)};
}

// One 43/14 reply: more follows from next, and the objects by id.
Answer IdPage(const Bytes& q, bool more, int next, const std::map<int, std::string>& objects) {
    Bytes pdu = {0x2B,
                 0x0E,
                 0x01,
                 0x01,
                 static_cast<std::uint8_t>(more ? 0xFF : 0x00),
                 static_cast<std::uint8_t>(next),
                 static_cast<std::uint8_t>(objects.size())};
    for (const auto& o : objects) {
        pdu.push_back(static_cast<std::uint8_t>(o.first));
        pdu.push_back(static_cast<std::uint8_t>(o.second.size()));
        pdu.insert(pdu.end(), o.second.begin(), o.second.end());
    }
    return {From(q[0], pdu)};
}

// The unit: holding register 0 and 100..108, register 1 refused (02), and no
// identification (01).
Answer Unit(const Bytes& q) {
    return q[1] != 0x03 ? Exception(q, 0x01) : Word(q, 2) == 1 ? Exception(q, 0x02) : Zeros(q);
}

// A device whose registers run on from 0; identifies itself with f.
Peer RegisterDevice(std::function<Answer(const Bytes&)> f) {
    return [f](const Bytes& q) { return q[1] == 0x03 ? Zeros(q) : f(q); };
}

// The entry in a few words: "device unit 43/14 vendor|product|revision",
// "device 17 id|run|data", "none".
std::string Describe(const CensusEntry& e) {
    std::string s = e.device ? "device" : "none";
    s += e.unit ? " unit" : "";
    if (e.source == IdentitySource::DeviceId) {
        s += " 43/14 " + e.vendor + "|" + e.product + "|" + e.revision;
    } else if (e.source == IdentitySource::ServerId) {
        s += " 17 " + e.serverId + "|" + std::to_string(e.run) + "|" + e.data;
    }
    return s;
}

struct SurveyCase {
    const char* name;
    Peer peer;
    const char* entry;
    int requests;
};

}  // namespace

TEST(CensusSurvey, IdentifiesOrFallsBack) {
    std::vector<int> objectsAsked;  // the first object of each 43/14 request
    const SurveyCase cases[] = {
        {"43/14 without objects, then 17", RegisterDevice([](const Bytes& q) {
             return q[1] == 0x2B ? IdPage(q, false, 0, {})
                                 : Answer{From(q[0], {0x11, 6, 'K', '4', '0', 0xFF, 'v', '2'})};
         }),
         "device 17 4B 34 30|1|v2", 5},
        {"43/14 refused, 17 without a run indicator", RegisterDevice([](const Bytes& q) {
             return q[1] == 0x2B ? Exception(q, 0x01) : Answer{From(q[0], {0x11, 1, 0x2A})};
         }),
         "device 17 2A|-1|", 5},
        {"43/14 in two replies", RegisterDevice([&](const Bytes& q) {
             objectsAsked.push_back(q[4]);
             return q[4] == 0 ? IdPage(q, true, 1, {{0, "ACME"}})
                              : IdPage(q, false, 0, {{1, "PX-9"}, {2, "1.2"}});
         }),
         "device 43/14 ACME|PX-9|1.2", 5},
        // More follows from an object already sent: asking again would only
        // repeat it.
        {"43/14 more follows without progress", RegisterDevice([](const Bytes& q) {
             return IdPage(q, true, 0, {{0, "ACME\x01"}});
         }),
         "device 43/14 41 43 4D 45 01||", 4},
        {"gateway 0A", [](const Bytes& q) { return Exception(q, 0x0A); }, "none", 1},
        {"gateway 0B", [](const Bytes& q) { return Exception(q, 0x0B); }, "none", 1},
        {"only exceptions", [](const Bytes& q) { return Exception(q, 0x01); }, "device", 3},
        {"registers from 0, no identification",
         RegisterDevice([](const Bytes& q) { return Exception(q, 0x01); }), "device", 5},
        {"the unit by its map", Unit, "device unit", 5},
        {"silent", [](const Bytes&) { return Answer{}; }, "none", 1},
    };
    for (const SurveyCase& c : cases) {
        SCOPED_TRACE(c.name);
        objectsAsked.clear();
        FakeUnitLine fake;
        fake.peer = c.peer;
        const CensusEntry entry = Survey(fake.link, 50, FakeUnitLine::kWaitMs, true);
        EXPECT_EQ(Describe(entry), c.entry);
        EXPECT_EQ(fake.requests, c.requests);
        EXPECT_EQ(entry.address, 1);
    }
    // The pages were asked from object 0, then from the next one the first named.
    FakeUnitLine fake;
    fake.peer = cases[2].peer;
    objectsAsked.clear();
    Survey(fake.link, 50, FakeUnitLine::kWaitMs, true);
    EXPECT_EQ(objectsAsked, (std::vector<int>{0, 1}));
}

namespace {

class Collector : public CensusObserver {
public:
    bool Found(const CensusEntry& e) override {
        entries.push_back(std::to_string(e.address) + " " + Describe(e));
        return true;
    }
    std::vector<std::string> entries;
};

}  // namespace

// Addresses 1..5 behind a gateway: the unit at 2, a device that only answers
// exceptions at 4, and the gateway's 0B (no answer from the device) at 3.
TEST(CensusSurvey, TakesEveryAddressAndSkipsTheEmptyOnes) {
    FakeUnitLine fake;
    fake.peer = [](const Bytes& q) {
        switch (q[0]) {
            case 2:
                return Unit(q);
            case 3:
                return Exception(q, 0x0B);
            case 4:
                return Exception(q, 0x03);
            default:
                return Answer{};
        }
    };
    Collector observer;
    const CensusResult r = TakeCensus(fake.link, 1, 5, 50, FakeUnitLine::kWaitMs, observer);
    EXPECT_EQ(r.found, 2);
    EXPECT_FALSE(r.failed || r.stopped);
    EXPECT_EQ(observer.entries, (std::vector<std::string>{"2 device unit", "4 device"}));
}
