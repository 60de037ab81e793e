// The columns a watch writes, and the check that keeps a CSV log to one
// layout: rows appended under another header would be read against the wrong
// column names by every tool that opens the file.
#pragma once

#include <string>
#include <vector>

#include "cli/CtlOptions.h"
#include "unit/SignalReading.h"

// The signals of a watch's scan, in the order of its records: the analog
// values, the status bits, or both.
std::vector<SignalReading> WatchColumns(WatchScope scope);

// True when CSV records of the scope may be appended to the file: it does not
// exist, is empty, or starts with the very header this watch writes.
// Otherwise false, with a message in *why that names both layouts.
bool CheckCsvLayout(const std::string& path, WatchScope scope, std::string* why);
