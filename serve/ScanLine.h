// A scan's JSON Lines record, as `watch all --format json` writes it (JsonLine),
// read back into the record it was written from: serve's history file is made
// of them, and a restart restores the history the API showed from them.
//
// A line is such a record when it is one JSON object with the keys JsonLine
// writes, each of its type ("time" first); a reply holds the values of all's
// signals, register by register in all's order, and a failure none. Keys it
// does not know are passed over. The names, units and legends of the values
// are the signal tables', not the line's: the history keeps values only.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "master/ReadRecord.h"

class ScanLineReader {
public:
    ScanLineReader();

    // The line (without its '\n') as its record: the time, the outcome, the
    // response time, the exception, the diagnosis and the values, each as
    // JsonLine would write it again. False, with what the line is in *why
    // ("the records of watch ai", "no JSON object"), when it is no record of all.
    bool Read(std::string_view line, ReadRecord* record, std::string* why) const;

    // The time a record's line starts with ({"time":"...", the key JsonLine
    // writes first); false when the line starts otherwise.
    static bool LineTime(std::string_view line, std::chrono::system_clock::time_point* time);
    // Whether the text may be the start of a record's line cut short: it
    // begins as every record begins, or as much of that as it holds.
    static bool MayStartRecord(std::string_view text);

private:
    bool ReadReplyQuickly(std::string_view line, ReadRecord* record) const;
    bool ReadAnyway(std::string_view line, ReadRecord* record, std::string* why) const;

    std::vector<SignalReading> columns_;  // all's, from the signal tables
    // A reply's line as JsonLine writes it, cut around its variable parts:
    // the time, the response time and each value. A line made of these very
    // texts around such parts is a record; the others are parsed in full.
    std::vector<std::string> pieces_;
};
