// The constant signal tables that give meaning to what the read page fetches.
//
// AnalogSignals[r] names holding register 100 + r (the nine analog
// measurements, record 9 empty). DigitalSignals[r] names status bit r: coil r,
// or bit r of holding register 0 counted from the least significant bit
// (fifteen status bits, record 15 empty). Rows are looked up by position only;
// wNumber is never used to find a record.
#pragma once

#include "tables/SignalRecord.h"

constexpr int nAnalogSignals = 10;
constexpr int nDigitalSignals = 16;

extern const SignalRecord AnalogSignals[nAnalogSignals];
extern const SignalRecord DigitalSignals[nDigitalSignals];
