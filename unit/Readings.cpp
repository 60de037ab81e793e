#include "unit/Readings.h"

#include <cstdlib>

#include "tables/SignalTables.h"
#include "unit/GbkText.h"

namespace {

constexpr std::uint8_t kReadCoils = 0x01;
constexpr std::uint8_t kReadHoldingRegisters = 0x03;
constexpr int kStatusFirst = 0;  // coils 0..14, or holding register 0
constexpr std::uint16_t kStatusBits = 15;
constexpr int kAnalogFirst = 100;  // holding registers 100..108
constexpr std::uint16_t kAnalogRegisters = 9;

// What registers 100..108 measure, in the unit each is scaled to: three AC
// input voltages, the closing and control bus voltages, the load current, the
// battery string's voltage and current, the battery room's temperature. The
// signal table's unit column disagrees for 104 ("A"), 105, 107 and 108 ("V");
// the window keeps the table's texts, logs and dashboards need these.
constexpr const char* kPhysicalUnits[kAnalogRegisters] = {"V", "V", "V", "V", "V",
                                                          "A", "V", "A", "°C"};

SignalReading Column(const SignalRecord& record, int reg, bool analog) {
    SignalReading s;
    s.reg = reg;
    s.analog = analog;
    s.name = GbkToUtf8(record.szName);
    s.unit = GbkToUtf8(record.szUnit);
    return s;
}

}  // namespace

ReadRequest RequestOf(ReadCommand command) {
    switch (command) {
        case ReadCommand::Coils01:
            return {kReadCoils, kStatusFirst, kStatusBits};
        case ReadCommand::Register03:
            return {kReadHoldingRegisters, kStatusFirst, 1};
        case ReadCommand::Analog03:
            return {kReadHoldingRegisters, kAnalogFirst, kAnalogRegisters};
    }
    return {};
}

// The tables are constant: their texts are converted once, not at every read
// (each conversion opens a converter, and a poller at full speed reads
// thousands of times a second).
std::vector<SignalReading> AnalogColumns() {
    static const std::vector<SignalReading> columns = [] {
        std::vector<SignalReading> all;
        for (int r = 0; r < kAnalogRegisters; ++r) {
            all.push_back(Column(AnalogSignals[r], kAnalogFirst + r, true));
            all.back().physicalUnit = kPhysicalUnits[r];
        }
        return all;
    }();
    return columns;
}

std::vector<SignalReading> BitColumns() {
    static const std::vector<SignalReading> columns = [] {
        std::vector<SignalReading> all;
        for (int b = 0; b < kStatusBits; ++b) {
            all.push_back(Column(DigitalSignals[b], b, false));
        }
        return all;
    }();
    return columns;
}

std::vector<SignalReading> ColumnsOf(ReadCommand command) {
    return command == ReadCommand::Analog03 ? AnalogColumns() : BitColumns();
}

std::vector<SignalReading> DecodeReadings(ReadCommand command, const std::uint8_t* reply,
                                          int length) {
    const std::vector<SignalReading> columns = ColumnsOf(command);
    std::vector<SignalReading> readings;
    // The decoding stops at the table's last record; the unused sixteenth bit
    // and the empty tenth analog record have no signal and are left out.
    const int records = command == ReadCommand::Analog03 ? nAnalogSignals : nDigitalSignals;
    for (const DecodedRow& row : DecodeReadReply(command, reply, length, records)) {
        if (row.index >= static_cast<int>(columns.size())) {
            break;
        }
        SignalReading s = columns[static_cast<std::size_t>(row.index)];
        s.text = row.value;
        // The text is what the read page shows ("%5.1f", leading blanks): the
        // value is that text read back, so both always agree.
        const std::size_t first = s.text.find_first_not_of(' ');
        s.text = first == std::string::npos ? std::string() : s.text.substr(first);
        s.value = std::strtod(s.text.c_str(), nullptr);
        readings.push_back(std::move(s));
    }
    return readings;
}
