// k40ctl's line settings: --parity and --stop-bits, refused where the line is
// a device server's, and the scan's settings and time a try that follow them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/CtlOptions.h"
#include "master/Diagnosis.h"
#include "master/LineScan.h"

namespace {

struct ParseCase {
    std::vector<const char*> args;  // before the subcommand ai
    int status;                     // -1: runs
    LineSettings line;
    const char* message;  // part of the refusal
};

int Parse(std::vector<const char*> args, CtlOptions& o, std::string& err) {
    args.insert(args.begin(), "k40ctl");
    args.push_back("ai");
    std::ostringstream out, errors;
    const int status = ParseCtlOptions(static_cast<int>(args.size()),
                                       const_cast<char**>(args.data()), o, out, errors);
    err = errors.str();
    return status;
}

}  // namespace

TEST(LineOptions, ParityStopBitsAndTheNewRates) {
    const char* server = "the device server's setting";
    for (const ParseCase& c : {
             ParseCase{{}, -1, {9600, Parity::None, 1}, ""},
             ParseCase{{"--parity", "even"}, -1, {9600, Parity::Even, 1}, ""},
             ParseCase{{"--baud", "115200", "--parity", "odd", "--stop-bits", "2"}, -1,
                       {115200, Parity::Odd, 2}, ""},
             ParseCase{{"--baud", "57600"}, -1, {57600, Parity::None, 1}, ""},
             ParseCase{{"--parity", "mark"}, 2, {}, "--parity"},
             ParseCase{{"--stop-bits", "1.5"}, 2, {}, "--stop-bits"},
             ParseCase{{"--baud", "14400"}, 2, {}, "38400, 57600, 115200"},
             ParseCase{{"--port", "tcp://127.0.0.1:4001", "--parity", "even"}, 2, {}, server},
             ParseCase{{"--port", "mbtcp://127.0.0.1", "--stop-bits", "2"}, 2, {}, server},
             // Even the defaults, said out loud: the server's line is not the master's.
             ParseCase{{"--port", "tcp://127.0.0.1:4001", "--parity", "none"}, 2, {}, server},
             ParseCase{{"--port", "tcp://127.0.0.1:4001", "--baud", "4800"}, -1,
                       {4800, Parity::None, 1}, ""},
         }) {
        SCOPED_TRACE(c.args.empty() ? "defaults" : c.args.front() + std::string(" ...") +
                                                       c.args.back());
        CtlOptions o;
        std::string err;
        EXPECT_EQ(Parse(c.args, o, err), c.status);
        if (c.status < 0) {
            EXPECT_EQ(o.line, c.line);
        } else {
            EXPECT_NE(err.find(c.message), std::string::npos) << err;
        }
    }
}

// Each try waits the line time of 8 + 7 characters and the gap at the
// character's bits, rounded up, and 20 ms.
TEST(LineOptions, ScanTimeATryFollowsTheSettings) {
    for (const auto& [line, ms] : {std::pair{LineSettings{600, Parity::None, 1}, 329},
                                   std::pair{LineSettings{600, Parity::Even, 1}, 360},
                                   std::pair{LineSettings{600, Parity::Odd, 2}, 390},
                                   std::pair{LineSettings{9600, Parity::None, 1}, 40},
                                   std::pair{LineSettings{9600, Parity::Even, 1}, 42},
                                   std::pair{LineSettings{38400, Parity::None, 1}, 26},
                                   std::pair{LineSettings{115200, Parity::Even, 1}, 24}}) {
        EXPECT_EQ(ScanWaitMs(line), ms) << LineName(line);
    }
}

TEST(LineOptions, ScanTriesTheParitiesAtEachRate) {
    const std::vector<int> bauds = ScanBauds(true);
    EXPECT_EQ(bauds, (std::vector<int>{9600, 19200, 115200, 57600, 38400, 4800, 2400, 1200, 600}));
    const std::vector<LineSettings> plain = ScanLines(bauds, {Parity::None}, 1);
    ASSERT_EQ(plain.size(), bauds.size());
    EXPECT_EQ(plain[2], (LineSettings{115200, Parity::None, 1}));
    const std::vector<LineSettings> all =
        ScanLines({57600}, {Parity::None, Parity::Even, Parity::Odd}, 2);
    EXPECT_EQ(all, (std::vector<LineSettings>{{57600, Parity::None, 2},
                                              {57600, Parity::Even, 2},
                                              {57600, Parity::Odd, 2}}));
}

// Parity is named for bytes without a frame only when they are a damaged
// reply; garbage points to the rate; a device server's line is its own.
TEST(LineOptions, NoFrameNamesParityOnlyForADamagedReply) {
    struct Case {
        bool damaged, connection;
        bool parity, baud;
    };
    for (const Case& c : {Case{true, false, true, false}, Case{false, false, false, true},
                          Case{true, true, false, false}}) {
        LineDiagnosis d;
        d.finding = LineFinding::NoFrame;
        d.bytes = {0x01, 0x03, 0x12};
        d.damagedReply = c.damaged;
        d.connection = c.connection;
        const std::string text = DiagnosisText(d, 1500);
        EXPECT_EQ(text.find("parity") != std::string::npos, c.parity) << text;
        EXPECT_EQ(text.find("baud rate") != std::string::npos, c.baud) << text;
    }
}
