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

#include "cli/Census.h"

// Bytes a device sent as text when every one is printable ASCII, else as hex
// ("01 FF"); "" for none.
std::string PrintableOrHex(const std::string& bytes);

// The header line of the format ("" for JSON).
std::string CensusHeader(OutputFormat format);
std::string CensusLine(OutputFormat format, const CensusEntry& entry);
