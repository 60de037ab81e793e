// serve's history file: a record read back gives the very line it was read
// from, lines that are not records of all are refused with what they are,
// the tail read is the newest scans wanted, however the blocks fall, and a
// line a crash cut short is skipped and cut off before the next record.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>

#include "formats/RecordFormat.h"
#include "serve/HistoryFile.h"
#include "serve/ScanHistory.h"
#include "serve/ScanLine.h"
#include "tests/serve/ServeRecords.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

std::vector<ReadRecord> Kinds() {
    std::vector<ReadRecord> records;
    for (unsigned seed : {0u, 1u, 4999u}) {
        records.push_back(AllReply(kScanTime + seconds(seed), seed));
    }
    ReadRecord odd = AllReply(kScanTime, 7);
    odd.values[0].text = "-0.0";
    odd.values[1].text = "220.00";
    odd.responseMs = 12.35;
    odd.time += std::chrono::microseconds(999);  // kept to the ms, as written
    records.push_back(odd);
    records.push_back(Failed(kScanTime + milliseconds(1), "crc-error",
                             "a reply with a wrong CRC (01 03 12 \"x\"), line\nbreak, 总"));
    records.push_back({kScanTime, ReadOutcome::Exception, 0x02, "非法数据地址", {}, "exception",
                       "exception reply 02 非法数据地址", 3.04999});
    records.push_back(Failed(kScanTime, "port-lost", ""));
    return records;
}

std::string Chomp(std::string line) {
    line.pop_back();
    return line;
}

TEST(ScanLine, ReadsEachRecordBackIntoTheLineItWasReadFrom) {
    const ScanLineReader reader;
    for (const ReadRecord& r : Kinds()) {
        const std::string line = JsonLine(r);
        ReadRecord back;
        std::string why;
        ASSERT_TRUE(reader.Read(Chomp(line), &back, &why)) << line << why;
        EXPECT_EQ(JsonLine(back), line);
    }
    // Names of another version (the line parsed in full) give the same values.
    std::string renamed = JsonLine(AllReply(kScanTime, 3));
    const std::string name = AllReply(kScanTime, 3).values[4].name;
    renamed.replace(renamed.find(name), name.size(), "renamed");
    ReadRecord back;
    std::string why;
    ASSERT_TRUE(reader.Read(Chomp(renamed), &back, &why)) << why;
    EXPECT_EQ(JsonLine(back), JsonLine(AllReply(kScanTime, 3)));
}

TEST(ScanLine, RefusesLinesThatAreNoRecordOfAllWithWhatTheyAre) {
    ReadRecord ai = AllReply(kScanTime, 5);
    ai.values.resize(ScanHistory::kAnalogs);
    std::string bit2 = Chomp(JsonLine(AllReply(kScanTime, 0)));
    bit2.replace(bit2.rfind("\"value\":0"), 9, "\"value\":2");
    const struct {
        std::string line, why;
    } cases[] = {
        {Chomp(CsvHeader(ScanColumns(ScanScope::All))), "no JSON object"},
        {"[1,2]", "no JSON object"},
        {Chomp(JsonLine(ai)), "the records of watch ai"},
        {bit2, "values that are not the signals of all"},
        {R"({"time":"08:00","outcome":"timeout","response_ms":null,"values":[]})",
         "no \"time\" in ISO 8601"},
        {R"({"time":"2026-12-07T17:44:55Z","outcome":"maybe","response_ms":null,"values":[]})",
         "no \"outcome\" of a scan"},
        {R"({"time":"2026-12-07T17:44:55Z","outcome":"exception","response_ms":1,"values":[]})",
         "an exception without its code and name"},
        {R"({"time":"2026-12-07T17:44:55Z","outcome":"timeout","response_ms":null})",
         "no \"values\" of a scan"},
    };
    const ScanLineReader reader;
    for (const auto& c : cases) {
        ReadRecord back;
        std::string why;
        EXPECT_FALSE(reader.Read(c.line, &back, &why)) << c.line;
        EXPECT_EQ(why, c.why) << c.line;
    }
}

class HistoryFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/k40history.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder_ = name;
        path_ = folder_ + "/unit.jsonl";
    }
    void TearDown() override {
        std::remove(path_.c_str());
        std::remove((path_ + ".1").c_str());
        rmdir(folder_.c_str());
    }
    void Write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }
    std::string Contents(const std::string& path) const {
        std::ostringstream s;
        s << std::ifstream(path, std::ios::binary).rdbuf();
        return s.str();
    }
    // Opens the file as serve does; the records restored, as their lines.
    bool Open(HistoryFile* file, const TailWanted& wanted, std::string* lines, HistoryLoad* load,
              std::string* why) const {
        return file->Open(wanted, [lines](const ReadRecord& r) { *lines += JsonLine(r); }, load,
                          why);
    }
    std::string folder_, path_;
};

// Lines 1 s apart from kScanTime, the ones from `from` up to `to` (exclusive).
std::string Lines(unsigned from, unsigned to) {
    std::string text;
    for (unsigned i = from; i < to; ++i) {
        text += JsonLine(i % 5 == 4 ? Failed(kScanTime + seconds(i), "nothing", "no reply")
                                    : AllReply(kScanTime + seconds(i), i));
    }
    return text;
}

TEST_F(HistoryFileTest, ReadsBackTheNewestScansWanted) {
    const std::string cut = R"({"time":"2026-12-07T17:4)";
    const std::string many = Lines(0, 800);
    const struct {
        std::string file;
        TailWanted wanted;
        std::string restored;
        std::uint64_t cutBytes;
    } cases[] = {
        {"", {10, kScanTime}, "", 0},
        {Lines(0, 8), {3, kScanTime}, Lines(5, 8), 0},
        {Lines(0, 8), {100, kScanTime + seconds(6)}, Lines(6, 8), 0},
        // The newest scan is always read, old as it may be: the file is checked.
        {Lines(0, 8), {100, kScanTime + seconds(60)}, Lines(7, 8), 0},
        // More lines than a block of the reader holds (1.3 MB).
        {many, {700, kScanTime}, many.substr(Lines(0, 100).size()), 0},
        {many, {5000, kScanTime}, many, 0},
        {Lines(0, 4) + cut, {100, kScanTime}, Lines(0, 4), cut.size()},
        {"{", {100, kScanTime}, "", 1},
    };
    for (const auto& c : cases) {
        Write(c.file);
        std::string restored, why;
        HistoryLoad load;
        HistoryFile file(path_, nullptr, stderr);
        ASSERT_TRUE(Open(&file, c.wanted, &restored, &load, &why)) << why;
        EXPECT_EQ(restored, c.restored) << c.file.size();
        EXPECT_EQ(load.scans, static_cast<std::size_t>(std::count(
                                  c.restored.begin(), c.restored.end(), '\n')));
        EXPECT_EQ(load.cutBytes, c.cutBytes);
        // The next record starts on a line of its own.
        file.OnScan(AllReply(kScanTime + seconds(9999), 1), ScanStatus{});
        EXPECT_EQ(Contents(path_), c.file.substr(0, c.file.size() - c.cutBytes) +
                                       JsonLine(AllReply(kScanTime + seconds(9999), 1)));
    }
}

// The reader takes the file in blocks of 1 MiB from its end: a line whose
// time begins in one block and ends in the next is read whole. The last line,
// a failure's, is as long as it takes to put a line start 10 bytes before
// the first block.
TEST_F(HistoryFileTest, ReadsALineWhoseTimeTwoBlocksHold) {
    const std::string lines = Lines(0, 700);
    const std::size_t before = lines.size() - (1u << 20) - 10;  // with an empty last line
    const std::size_t start = lines.find('\n', before + 200) + 1;
    const auto last = [](std::size_t size) {
        return JsonLine(Failed(kScanTime + seconds(9999), "nothing", std::string(size, 'x')));
    };
    const std::string text = lines + last(start - before - last(0).size());
    ASSERT_EQ(text.size() - (1u << 20) - start, 10u);
    Write(text);
    std::string restored, why;
    HistoryLoad load;
    HistoryFile file(path_, nullptr, stderr);
    ASSERT_TRUE(Open(&file, {5000, kScanTime}, &restored, &load, &why)) << why;
    EXPECT_EQ(restored, text);
}

TEST_F(HistoryFileTest, RefusesAFileOfOtherLinesAndLeavesItAsItWas) {
    ReadRecord ai = AllReply(kScanTime, 5);
    ai.values.resize(ScanHistory::kAnalogs);
    const std::string csv = CsvHeader(ScanColumns(ScanScope::All)) +
                            CsvRow(AllReply(kScanTime, 1), ScanColumns(ScanScope::All));
    const struct {
        std::string file, why;
    } cases[] = {
        // Read from the end: the last line is the one that tells.
        {csv, "(its line at byte " + std::to_string(csv.find('\n') + 1) + ": " +
                  Iso8601Local(kScanTime).substr(0, 10)},
        {Lines(0, 3) + "\n" + Lines(3, 5), "(its line at byte " +
                                                std::to_string(Lines(0, 3).size()) + ": : not"},
        {Lines(0, 3) + "no record, not cut short", "a last line without its line end"},
        {Lines(0, 3) + std::string(70000, 'x') + "\n", "a line longer than any record"},
        {JsonLine(ai) + JsonLine(ai), "holds the records of watch ai (its line at byte 0)"},
    };
    for (const auto& c : cases) {
        Write(c.file);
        std::string restored, why;
        HistoryLoad load;
        HistoryFile file(path_, nullptr, stderr);
        EXPECT_FALSE(Open(&file, {100, kScanTime}, &restored, &load, &why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(why.rfind(path_ + " holds ", 0), 0u) << why;
        EXPECT_NE(why.find("; serve writes the records of watch all --format json: not appended"),
                  std::string::npos);
        EXPECT_TRUE(load.otherLayout);
        EXPECT_EQ(Contents(path_), c.file);
    }
}

TEST_F(HistoryFileTest, AskedToReopenWritesOnIntoANewFileByItsName) {
    bool reopen = false;
    HistoryFile file(path_, [&reopen] { return std::exchange(reopen, false); }, stderr);
    std::string restored, why;
    HistoryLoad load;
    ASSERT_TRUE(Open(&file, {100, kScanTime}, &restored, &load, &why)) << why;
    file.OnScan(AllReply(kScanTime, 1), ScanStatus{});
    ASSERT_EQ(std::rename(path_.c_str(), (path_ + ".1").c_str()), 0);  // as logrotate does
    file.OnScan(AllReply(kScanTime, 2), ScanStatus{});
    reopen = true;
    file.OnScan(AllReply(kScanTime, 3), ScanStatus{});
    EXPECT_EQ(Contents(path_ + ".1"), JsonLine(AllReply(kScanTime, 1)) +
                                          JsonLine(AllReply(kScanTime, 2)));
    EXPECT_EQ(Contents(path_), JsonLine(AllReply(kScanTime, 3)));
}

}  // namespace
