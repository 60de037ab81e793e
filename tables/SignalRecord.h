// One record of the monitoring unit's signal tables: the number the unit's
// documentation gives the signal, its name, a scale and the unit (analog
// signals) or the legend of the two bit values (status bits).
//
// The layout is fixed: a 16-bit number, a 102-byte name, a 32-bit float and a
// 52-byte unit, 160 bytes in all. Both texts are GBK (code page 936) byte
// strings, NUL-terminated within their field; the windowing layer decodes them.
#pragma once

#include <cstdint>

struct SignalRecord {
    std::uint16_t wNumber;  // the signal's number; kept as data, not used for lookup
    char szName[102];       // signal name, GBK
    float fScale;           // 600.0 for the used analog records, 0.0 otherwise; informational
    char szUnit[52];        // analog: the unit; status bit: "0：...，1：..." legend, GBK
};
