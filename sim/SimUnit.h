// The simulated monitoring unit: its coils and registers and how it answers one
// Modbus RTU request. No input or output here; the frames come from
// CFrameScanner and the replies go back to the caller.
//
// The map, as the commissioning program reads and writes it:
//   coils 0..14           the fifteen status bits (coil r = status bit r)
//   coils 200, 201        write FF00/0000 (function 05): status bit 0 (1 = manual
//                         operation) and bit 1 (1 = float charge); readable too
//   holding register 0    the status bits as one word (bit r = status bit r, bit 15 = 0)
//   holding 100..108      the nine analog values, raw = round((value / 500 + 1) * 32767)
//   holding 310..372      per rectifier module m = 0..20: 310 + 3m voltage setpoint
//                         code, 311 + 3m current-limit code, 312 + 3m on/off
//                         (0000 on, FF00 off); written with function 06
// Functions 01, 03, 05 and 06 are served; any other gets exception 01. An address
// or quantity outside the map gets exception 02 (a read must lie wholly inside
// one block), a coil value other than FF00/0000 or an on/off value other than
// 0000/FF00 exception 03. Requests for other slave addresses, the broadcast
// address 0 included, are not answered and change nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/SimRandom.h"

enum class SimAnswer {
    Reply,      // a normal reply
    Exception,  // an exception reply (function code | 0x80, exception code)
    Ignored,    // not for this unit: nothing is sent
};

struct SimResponse {
    SimAnswer answer = SimAnswer::Ignored;
    std::uint8_t exceptionCode = 0;
    std::vector<std::uint8_t> frame;  // what the unit sends, CRC included; empty when ignored
};

class CSimUnit {
public:
    static constexpr int kStatusBits = 15;
    static constexpr int kAnalogCount = 9;
    static constexpr int kAnalogBase = 100;
    static constexpr int kModules = 21;
    static constexpr int kModuleBase = 310;
    static constexpr int kManualCoil = 200;
    static constexpr int kFloatCoil = 201;
    static constexpr std::uint16_t kInitialStatus = 0x0002;      // automatic, float charge
    static constexpr std::uint16_t kInitialVoltageCode = 48103;  // 234 V
    static constexpr std::uint16_t kInitialCurrentCode = 39321;  // 100 %
    static constexpr std::uint16_t kModuleOn = 0x0000;
    static constexpr std::uint16_t kModuleOff = 0xFF00;

    // drift: whether the analog values wander (one step before every read of
    // them); without it they stay at their nominal values.
    CSimUnit(int slaveAddr, std::uint64_t seed, bool drift);

    // Answers one request frame (address, function, data, CRC). A frame with a
    // wrong CRC or shorter than 4 bytes is ignored.
    SimResponse Handle(const std::uint8_t* frame, std::size_t length);

    int SlaveAddr() const { return m_nSlaveAddr; }
    bool StatusBit(int bit) const;
    std::uint16_t StatusWord() const { return m_wStatus; }
    void SetStatusWord(std::uint16_t status);  // bit 15 is always 0
    // The measurement as the unit reports it now (during an AC power failure
    // not the drifting value but what the failure makes of it).
    double AnalogValue(int index) const;
    std::uint16_t AnalogRaw(int index) const { return RawOf(AnalogValue(index)); }
    // How long the AC supply has been lost, in seconds; below 0 while it is on.
    void SetMainsOutage(double seconds) { m_fOutageS = seconds; }
    // Holding registers 310..372; 0 for any other address.
    std::uint16_t ModuleRegister(int address) const;

    static double NominalValue(int index);
    // The register value the program turns back into value.
    static std::uint16_t RawOf(double value);

    // The exception reply of this address for a request's function code.
    static std::vector<std::uint8_t> ExceptionFrame(int slaveAddr, std::uint8_t function,
                                                    std::uint8_t code);
    // Appends the CRC in wire order (low-order byte first).
    static void AppendCrc(std::vector<std::uint8_t>& frame);

private:
    SimResponse ReadCoils(const std::uint8_t* frame);
    SimResponse ReadRegisters(const std::uint8_t* frame);
    SimResponse WriteCoil(const std::uint8_t* frame);
    SimResponse WriteRegister(const std::uint8_t* frame);
    SimResponse Exception(std::uint8_t function, std::uint8_t code) const;
    SimResponse Echo(const std::uint8_t* frame) const;
    bool CoilValue(int coil) const;
    bool RegisterMapped(int address) const;
    std::uint16_t RegisterValue(int address) const;
    void DriftStep();

    int m_nSlaveAddr;
    bool m_bDrift;
    CSimRandom m_random;
    std::uint16_t m_wStatus = kInitialStatus;
    std::array<double, kAnalogCount> m_fAnalog{};
    double m_fOutageS = -1;
    std::array<std::uint16_t, 3 * kModules> m_wModule{};
};
