// What a failed exchange tells an engineer: the line's finding (link/
// LineDiagnosis.h) put into words, with the likely cause and what to try.
#pragma once

#include <string>

#include "link/LineDiagnosis.h"

// One sentence, UTF-8: what arrived and what it likely means, e.g. "only the
// echo of the request came back: the adapter echoes and the unit is silent
// (...)". waitMs: the reply wait, named in the advice for a late unit.
// Through a device server (diagnosis.connection) the advice leaves out the
// wires, baud rate and parity, which are the server's.
std::string DiagnosisText(const LineDiagnosis& diagnosis, int waitMs);

// The bytes the line showed, in hex ("01 03 12 ..."), as the sentences of the
// RTU and the Modbus TCP diagnoses quote them.
std::string ShownBytes(const LineDiagnosis& diagnosis);

// The facts a diagnosis sentence is made of, for a reader that words it in
// another language (the page in Chinese): "key=value" pairs joined by ';',
// each present only where the finding uses it: via (server: through a device
// server), bytes (hex, as ShownBytes), damaged (1: a damaged reply), after
// (1: a whole reply followed the altered copy), slave, function (hex), wait_ms.
std::string DiagnosisFacts(const LineDiagnosis& diagnosis, int waitMs);
