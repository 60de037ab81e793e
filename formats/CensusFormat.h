// The census's devices in k40ctl's one-shot formats: the aligned table, CSV
// (RFC 4180) and JSON Lines, one device a line, written as each is found.
//
//   table: ADDRESS ANSWER DEVICE VENDOR PRODUCT REVISION SERVER-ID RUN DATA
//   csv:   address,answer,exception,unit,function,vendor,product,revision,
//          server_id,run,data
//   json:  {"address", "answer": "reply"|"exception", "exception" (only for
//          an exception: code, name, name_en), "unit": bool,
//          "identification": null | {"function": 43, "vendor", "product",
//          "revision"} | {"function": 17, "server_id", "run": bool|null, "data"}}
#pragma once

#include <string>

#include "formats/RecordFormat.h"
#include "master/Census.h"

// The header line of the format ("" for JSON).
std::string CensusHeader(OutputFormat format);
std::string CensusLine(OutputFormat format, const CensusEntry& entry);
