// The history gives back every scan as the very bytes `watch all` wrote for
// it, in CSV and JSON Lines, and stays within its bounds: the count, the age
// and the memory of a day at one scan a second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "formats/RecordFormat.h"
#include "serve/ScanHistory.h"
#include "tests/serve/ServeRecords.h"

namespace {

using std::chrono::hours;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::vector<SignalReading> kColumns = ScanColumns(ScanScope::All);

// What a history must give back exactly: texts tenths cannot hold, response
// times on a rounding edge, exceptions and failures, readings left out.
std::vector<ReadRecord> Varied() {
    std::vector<ReadRecord> records;
    for (unsigned seed : {0u, 1u, 4999u, 32767u}) {
        records.push_back(AllReply(kScanTime + seconds(seed), seed));
    }
    ReadRecord odd = AllReply(kScanTime, 7);
    odd.values[0].text = "-0.0";  // what the decoding writes for a value just below zero
    odd.values[1].text = "220.00";
    odd.values[12].text = "1";  // a bit's text with its value 0
    odd.values[12].value = 0;
    odd.responseMs = 12.35;  // 12.35 * 10 rounds down in double, up in float
    records.push_back(odd);
    ReadRecord fewer = AllReply(kScanTime - hours(24 * 365 * 60), 9);  // before 1970
    fewer.values.erase(fewer.values.begin() + 3);
    fewer.values.pop_back();
    fewer.responseMs.reset();
    records.push_back(fewer);
    records.push_back(Failed(kScanTime + milliseconds(1), "crc-error",
                             "a reply with a wrong CRC (01 03 12 \"x\"), line\nbreak, 总"));
    records.push_back({kScanTime,
                       ReadOutcome::Exception,
                       0x02,
                       "非法数据地址",
                       {},
                       "exception",
                       "exception reply 02 非法数据地址",
                       3.04999});
    records.push_back(Failed(kScanTime, "port-lost", ""));
    return records;
}

class ScanHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "XST+3:30", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

TEST_F(ScanHistoryTest, GivesBackEachScanAsItsRecordWasWritten) {
    ScanHistory history(hours(24 * 365 * 100));
    const std::vector<ReadRecord> records = Varied();
    std::string csv = CsvHeader(kColumns), jsonl;
    for (const ReadRecord& r : records) {
        history.Add(r);
        csv += CsvRow(r, kColumns);
        jsonl += JsonLine(r);
    }
    ASSERT_EQ(history.Size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::optional<ReadRecord> back = history.At(i);
        ASSERT_TRUE(back) << i;
        EXPECT_EQ(CsvRow(*back, kColumns), CsvRow(records[i], kColumns)) << i;
        EXPECT_EQ(JsonLine(*back), JsonLine(records[i])) << i;
    }
    EXPECT_FALSE(history.At(records.size()));
    for (HistoryFormat format : {HistoryFormat::Csv, HistoryFormat::JsonLines}) {
        std::string out = history.Header(format);
        std::uint64_t cursor = 0;
        while (history.Render(format, Clock::time_point::min(), &cursor, 4, &out)) {
        }
        EXPECT_EQ(out, format == HistoryFormat::Csv ? csv : jsonl);
    }
}

TEST_F(ScanHistoryTest, KeepsAtMostItsCountAndItsAge) {
    ScanHistory counted(hours(1), 100);
    for (unsigned i = 0; i < 250; ++i) {
        counted.Add(AllReply(kScanTime + seconds(i), i));
    }
    EXPECT_EQ(counted.Size(), 100u);
    EXPECT_EQ(counted.FirstSequence(), 150u);
    EXPECT_EQ(counted.EndSequence(), 250u);
    EXPECT_FALSE(counted.At(149));
    EXPECT_EQ(JsonLine(*counted.At(150)), JsonLine(AllReply(kScanTime + seconds(150), 150)));

    ScanHistory aged(seconds(60));
    for (unsigned i = 0; i < 100; ++i) {
        aged.Add(AllReply(kScanTime + seconds(i), i));
    }
    EXPECT_EQ(aged.Size(), 61u);  // 39 s to 99 s: none more than 60 s older than the last
    EXPECT_EQ(aged.FirstSequence(), 39u);
    aged.Expire(kScanTime + seconds(159));
    EXPECT_EQ(aged.Size(), 1u);
    aged.Expire(kScanTime + seconds(200));
    EXPECT_EQ(aged.Size(), 0u);
    std::uint64_t cursor = 0;
    std::string out;
    EXPECT_FALSE(aged.Render(HistoryFormat::Csv, Clock::time_point::min(), &cursor, 10, &out));
    EXPECT_TRUE(out.empty());
}

// A day at one scan a second: a failing line with a handful of diagnoses,
// then a noisy one whose every diagnosis differs.
TEST_F(ScanHistoryTest, ADayOfScansStaysUnder16Megabytes) {
    constexpr std::size_t kLimit = 16u << 20;
    ScanHistory history(hours(24));
    // Replies of 97 kinds, made once: the history keeps numbers, not records,
    // so a day of them costs it the same, and the test far less time (under
    // the sanitizers a record made afresh each second took most of it).
    std::vector<ReadRecord> replies;
    for (unsigned seed = 0; seed < 97; ++seed) {
        replies.push_back(AllReply(kScanTime, seed));
    }
    for (unsigned i = 0; i < 86400; ++i) {
        const auto time = kScanTime + seconds(i);
        if (i % 10 == 0) {
            history.Add(
                Failed(time, "nothing", "no byte came back " + std::to_string(i % 50 / 10)));
        } else {
            ReadRecord& reply = replies[i % replies.size()];
            reply.time = time;
            history.Add(reply);
        }
    }
    EXPECT_EQ(history.Size(), 86400u);
    EXPECT_LT(history.MemoryBytes(), kLimit);
    const std::size_t shared = history.MemoryBytes();

    const std::string sentence(180, 'x');
    for (unsigned i = 0; i < 86400; ++i) {
        history.Add(
            Failed(kScanTime + seconds(86400 + i), "no-frame", sentence + std::to_string(i)));
    }
    EXPECT_LT(history.MemoryBytes(), kLimit);
    EXPECT_GT(history.MemoryBytes(), shared + (3u << 20));  // the texts are counted
    EXPECT_LT(history.Size(), 86400u);                      // the oldest went for them
    EXPECT_GT(history.Size(), 10000u);
    const ReadRecord last =
        Failed(kScanTime + seconds(86400 + 86399), "no-frame", sentence + "86399");
    EXPECT_EQ(JsonLine(*history.At(history.EndSequence() - 1)), JsonLine(last));
}

TEST_F(ScanHistoryTest, RendersInChunksFromItsCursorAndSince) {
    ScanHistory history(hours(1), 20);
    for (unsigned i = 0; i < 10; ++i) {
        history.Add(AllReply(kScanTime + seconds(i), i));
    }
    struct Case {
        Clock::time_point since;
        std::uint64_t end;
        std::size_t chunk;
        std::vector<unsigned> scans;
    } const cases[] = {
        {kScanTime + seconds(3), UINT64_MAX, 3, {3, 4, 5, 6, 7, 8, 9}},
        // A fraction of a ms after scan 3 leaves it out.
        {kScanTime + seconds(3) + std::chrono::microseconds(1), UINT64_MAX, 2, {4, 5, 6, 7, 8, 9}},
        {Clock::time_point::min(), 4, 1, {0, 1, 2, 3}},
        {kScanTime + seconds(10), UINT64_MAX, 5, {}},
    };
    for (const Case& c : cases) {
        std::string out, expected;
        for (unsigned i : c.scans) {
            expected += CsvRow(AllReply(kScanTime + seconds(i), i), kColumns);
        }
        std::uint64_t cursor = 0;
        std::size_t calls = 0;
        for (std::string chunk;
             history.Render(HistoryFormat::Csv, c.since, &cursor, c.chunk, &chunk, c.end);
             chunk.clear()) {
            EXPECT_LE(static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n')),
                      c.chunk);
            out += chunk;
            ++calls;
        }
        EXPECT_EQ(out, expected);
        EXPECT_EQ(calls, (c.scans.size() + c.chunk - 1) / c.chunk);
    }
    // A reader left behind by the ring goes on from the oldest scan kept.
    std::uint64_t cursor = 2;
    for (unsigned i = 10; i < 25; ++i) {
        history.Add(AllReply(kScanTime + seconds(i), i));
    }
    std::string out;
    ASSERT_TRUE(history.Render(HistoryFormat::JsonLines, kScanTime, &cursor, 1, &out));
    EXPECT_EQ(out, JsonLine(AllReply(kScanTime + seconds(5), 5)));
    EXPECT_EQ(cursor, 6u);
}

}  // namespace

// A piece is rendered after the lock is let go: the scans it copied may be
// dropped meanwhile and their texts freed, their ids given to other texts.
TEST_F(ScanHistoryTest, APieceRendersItsScansAfterTheHistoryMovedOn) {
    ScanHistory history(hours(1), 3);
    const std::vector<ReadRecord> records = Varied();
    std::string expected;
    for (std::size_t i = records.size() - 3; i < records.size(); ++i) {
        history.Add(records[i]);
        expected += JsonLine(records[i]);
    }
    ScanHistory::Piece piece;
    std::uint64_t cursor = 0;
    ASSERT_TRUE(history.Copy(Clock::time_point::min(), &cursor, 10, &piece));
    for (unsigned i = 0; i < 3; ++i) {
        history.Add(Failed(kScanTime, "no-reply", "other text " + std::to_string(i)));
    }
    std::string out;
    history.Render(HistoryFormat::JsonLines, piece, &out);
    EXPECT_EQ(out, expected);
}
