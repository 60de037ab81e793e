// The one-shot output formats of k40ctl, made from a ReadRecord: the aligned
// table for a person, CSV (RFC 4180) and JSON Lines for scripts and logs. Each
// function returns complete lines, so the caller writes a record in one go and
// never leaves half a record behind.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "master/LocalTime.h"
#include "master/ReadRecord.h"

// The formats of k40ctl's one-shot commands and of watch's records.
enum class OutputFormat { Table, Csv, Json, Prometheus };

// One line per signal, columns aligned by display width: register (or bit
// number), name, value, unit (or legend). A read without a reply is one line:
// "no reply" or "exception 02 illegal data address (非法数据地址)". The line
// of a status bit that raises an alarm ends in "ALARM critical" or "ALARM
// warning". Every line ends in '\n'.
std::string FormatTable(const ReadRecord& record);

// One CSV line of the fields, CRLF-terminated, each quoted when it must be
// (RFC 4180).
std::string CsvLine(const std::vector<std::string>& fields);

// The CSV header, CRLF-terminated: time,outcome,exception, then one column per
// signal, named by the signal's name.
std::string CsvHeader(const std::vector<SignalReading>& columns);

// One CSV row, CRLF-terminated, in the header's column order: the values as
// the read page shows them ("220.0"); empty value cells when the read got no
// reply, and an empty exception cell unless it got an exception reply.
std::string CsvRow(const ReadRecord& record, const std::vector<SignalReading>& columns);

// The unit a reading is given in by k40ctl's outputs: an analog signal's
// physical unit ("V", "A", "°C"), a status bit's legend.
const std::string& ShownUnit(const SignalReading& reading);

// One JSON object and '\n': time, outcome, response_ms (null without an answer), exception ({"code","name","name_en"}:
// the Chinese name as k40tool shows it and the English one; only for an exception reply), diagnosis ({"finding","text"}: a failure's
// diagnosis, or "not-confirmed" for a command whose read-back failed) and values, a list of
// {register, name, value, unit (the physical unit)} for analog signals and {register (the bit number), name, value,
// legend} for bits.
std::string JsonLine(const ReadRecord& record);

// The signal's value as a number: the text as shown when it is one, so that
// "22.3" is written as 22.3 whatever rounding the decoding left in the double.
double ShownValue(const SignalReading& reading);

// The reading of a record that belongs to a column (same kind and register),
// or nullptr when the record holds none.
const SignalReading* FindReading(const ReadRecord& record, const SignalReading& column);
