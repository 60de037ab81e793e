// The two Modbus masters that the round-trip benchmarks compare, each doing
// the read of the nine analog registers ("03读AI": 01 03 00 64 00 09, a
// 23-byte reply) against the same simulator:
//   - the program's own link: RunExchange, quiet read variant;
//   - libmodbus, an independent implementation: modbus_read_registers in RTU
//     mode, as it comes (its own timing, flushing and checks).
// The port is exclusive, so one master at a time holds it: each block of
// exchanges opens its master, runs and closes it again.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "bench/SampleSet.h"
#include "link/LineSettings.h"

class CReadMasters {
public:
    static constexpr int kRegisters = 9;
    using Registers = std::array<std::uint16_t, kRegisters>;

    // path: the simulator's pseudo-terminal. Sets K40_COM1 to it for the link.
    // line: the settings both masters set (the simulator's own).
    explicit CReadMasters(std::string path, const LineSettings& line = LineSettings{});

    // Runs count exchanges and adds each one's wall time in microseconds.
    // False (with Error() set) when a port did not open or a read failed.
    bool LinkBlock(int count, CSampleSet& micros);
    bool LibmodbusBlock(int count, CSampleSet& micros);

    // The registers of the last successful read of each master.
    const Registers& LinkRegisters() const { return m_link; }
    const Registers& LibmodbusRegisters() const { return m_libmodbus; }
    const std::string& Error() const { return m_error; }

private:
    std::string m_path;
    LineSettings m_line;
    std::string m_error;
    Registers m_link{};
    Registers m_libmodbus{};
};
