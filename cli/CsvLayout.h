// The columns a watch writes, and the check that keeps a CSV log to one
// layout: rows appended under another header would be read against the wrong
// column names by every tool that opens the file.
#pragma once

#include <string>
#include <vector>

#include "master/ScanScope.h"

// True when CSV records of the scope may be appended to the file: it does not
// exist, is empty, or starts with the very header this watch writes.
// Otherwise false, with a message in *why that names both layouts.
bool CheckCsvLayout(const std::string& path, ScanScope scope, std::string* why,
                    const RawRead& raw = {});
