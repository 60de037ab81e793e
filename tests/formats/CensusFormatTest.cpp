// The census's lines in each format, read back by Python's csv and json
// modules: a device with 43/14, one with 17 that sends bytes no terminal
// shows, the unit by its map answering an exception.
#include "formats/CensusFormat.h"

#include <gtest/gtest.h>

#include "tests/support/TextParsers.h"

namespace {

std::vector<CensusEntry> Entries() {
    CensusEntry named;
    named.address = 3;
    named.device = true;
    named.answer.outcome = ReadOutcome::Reply;
    named.source = IdentitySource::DeviceId;
    named.vendor = "Peer, \"Works\"";
    named.product = "PW-7";
    named.revision = "3.1";
    CensusEntry server;
    server.address = 9;
    server.device = true;
    server.answer.outcome = ReadOutcome::Reply;
    server.source = IdentitySource::ServerId;
    server.serverId = "2A";
    server.data = PrintableOrHex(std::string("ok\x01", 3));
    CensusEntry unit;
    unit.address = 1;
    unit.device = true;
    unit.unit = true;
    unit.answer.outcome = ReadOutcome::Exception;
    unit.answer.exceptionCode = 0x02;
    unit.answer.exceptionName = "非法数据地址";
    return {named, server, unit};
}

std::string All(OutputFormat format) {
    std::string text = CensusHeader(format);
    for (const CensusEntry& e : Entries()) {
        text += CensusLine(format, e);
    }
    return text;
}

TEST(CensusFormat, CsvReadsBackAsWritten) {
    const nlohmann::json rows = ParseWithPython(
        "import csv, json, sys\n"
        "print(json.dumps(list(csv.DictReader(open(sys.argv[1], newline='')))))\n",
        All(OutputFormat::Csv));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["vendor"], "Peer, \"Works\"");
    EXPECT_EQ(rows[0]["function"], "43");
    EXPECT_EQ(rows[1]["server_id"], "2A");
    EXPECT_EQ(rows[1]["run"], "");
    EXPECT_EQ(rows[1]["data"], "6F 6B 01");
    EXPECT_EQ(rows[2]["unit"], "yes");
    EXPECT_EQ(rows[2]["exception"], "02 illegal data address (非法数据地址)");
}

TEST(CensusFormat, JsonLinesReadBack) {
    const nlohmann::json lines = ParseWithPython(
        "import json, sys\n"
        "print(json.dumps([json.loads(l) for l in open(sys.argv[1])]))\n",
        All(OutputFormat::Json));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["identification"], (nlohmann::json{{"function", 43},
                                                          {"vendor", "Peer, \"Works\""},
                                                          {"product", "PW-7"},
                                                          {"revision", "3.1"}}));
    EXPECT_TRUE(lines[1]["identification"]["run"].is_null());
    EXPECT_EQ(lines[2]["answer"], "exception");
    EXPECT_EQ(lines[2]["exception"]["name_en"], "illegal data address");
    EXPECT_TRUE(lines[2]["unit"].get<bool>());
    EXPECT_TRUE(lines[2]["identification"].is_null());
}

TEST(CensusFormat, TableColumnsLineUp) {
    const std::string header = CensusHeader(OutputFormat::Table);
    const std::vector<CensusEntry> entries = Entries();
    EXPECT_EQ(CensusLine(OutputFormat::Table, entries[0]).find("Peer"), header.find("VENDOR"));
    EXPECT_EQ(CensusLine(OutputFormat::Table, entries[1]).find("2A"), header.find("SERVER-ID"));
    EXPECT_EQ(CensusLine(OutputFormat::Table, entries[2]), "1       exception 02 HCU-K40 unit\n");
}

}  // namespace
