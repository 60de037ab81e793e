#include "sim/SimUnit.h"

#include <algorithm>
#include <cmath>

#include "link/Crc.h"

namespace {

// The measurements of a healthy panel on a 380 V supply with a 220 V battery
// system in float charge. Each one differs from the others, so that a reply
// with registers in the wrong order shows.
constexpr double kNominal[CSimUnit::kAnalogCount] = {
    380.0,  // AC input A-B, V
    381.0,  // AC input B-C, V
    379.0,  // AC input C-A, V
    232.0,  // closing bus, V
    220.0,  // control bus, V
    6.4,    // load current, A
    229.5,  // battery string voltage, V
    1.8,    // battery string current, A
    25.0,   // battery room temperature, degrees
};

// Largest step of one drift, as a share of the nominal value, and how much of
// the distance from the nominal value survives a step: the values wander a
// little and never run away.
constexpr double kDriftStep = 0.004;
constexpr double kDriftKeep = 0.9;

// An AC power failure: the inputs read what an open input shows, the battery
// carries the load (its current the load's, negative: discharging), and the
// battery and the buses it feeds sag this much a second, down to at most
// kMostSag below normal (a 220 V string leaving float charge for discharge).
constexpr double kOpenInputVolts = 0.2;
constexpr double kSagPerSecond = 0.2;
constexpr double kMostSag = 25.0;
constexpr int kLoadCurrent = 5, kBatteryCurrent = 7;

// Modbus limits on the quantity of one read.
constexpr int kMaxReadCoils = 2000;
constexpr int kMaxReadRegisters = 125;

constexpr std::uint8_t kIllegalFunction = 0x01;
constexpr std::uint8_t kIllegalAddress = 0x02;
constexpr std::uint8_t kIllegalValue = 0x03;

int Word(const std::uint8_t* p) {
    return p[0] << 8 | p[1];
}

}  // namespace

CSimUnit::CSimUnit(int slaveAddr, std::uint64_t seed, bool drift)
    : m_nSlaveAddr(slaveAddr), m_bDrift(drift), m_random(seed) {
    for (int i = 0; i < kAnalogCount; ++i) {
        m_fAnalog[i] = kNominal[i];
    }
    for (int m = 0; m < kModules; ++m) {
        m_wModule[3 * m] = kInitialVoltageCode;
        m_wModule[3 * m + 1] = kInitialCurrentCode;
        m_wModule[3 * m + 2] = kModuleOn;
    }
}

double CSimUnit::NominalValue(int index) {
    return kNominal[index];
}

std::uint16_t CSimUnit::RawOf(double value) {
    const double raw = std::round((value / 500.0 + 1.0) * 32767.0);
    return static_cast<std::uint16_t>(std::clamp(raw, 0.0, 65535.0));
}

double CSimUnit::AnalogValue(int index) const {
    const double value = m_fAnalog[static_cast<std::size_t>(index)];
    if (m_fOutageS < 0) {
        return value;
    }
    switch (index) {
        case 0:
        case 1:
        case 2:
            return kOpenInputVolts;
        case 3:  // closing bus
        case 4:  // control bus
        case 6:  // battery string
            return value - std::min(kMostSag, kSagPerSecond * m_fOutageS);
        case kBatteryCurrent:
            return -m_fAnalog[kLoadCurrent];
        default:
            return value;
    }
}

bool CSimUnit::StatusBit(int bit) const {
    return bit >= 0 && bit < 16 && (m_wStatus >> bit & 1);
}

void CSimUnit::SetStatusWord(std::uint16_t status) {
    m_wStatus = status & 0x7FFF;
}

std::uint16_t CSimUnit::ModuleRegister(int address) const {
    const int i = address - kModuleBase;
    return i >= 0 && i < 3 * kModules ? m_wModule[i] : 0;
}

void CSimUnit::AppendCrc(std::vector<std::uint8_t>& frame) {
    ::AppendCrc(frame);
}

std::vector<std::uint8_t> CSimUnit::ExceptionFrame(int slaveAddr, std::uint8_t function,
                                                   std::uint8_t code) {
    std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(slaveAddr),
                                    static_cast<std::uint8_t>(function | 0x80), code};
    AppendCrc(frame);
    return frame;
}

SimResponse CSimUnit::Handle(const std::uint8_t* frame, std::size_t length) {
    if (length < 4 || frame[0] != m_nSlaveAddr) {
        return {};
    }
    if (!EndsInOwnCrc(frame, length)) {
        return {};
    }
    const std::uint8_t function = frame[1];
    const bool fixedLength =
        function == 0x01 || function == 0x03 || function == 0x05 || function == 0x06;
    if (!fixedLength) {
        return Exception(function, kIllegalFunction);
    }
    if (length != 8) {
        return {};  // not a well-formed request of these functions: no answer
    }
    switch (function) {
        case 0x01:
            return ReadCoils(frame);
        case 0x03:
            return ReadRegisters(frame);
        case 0x05:
            return WriteCoil(frame);
        default:
            return WriteRegister(frame);
    }
}

SimResponse CSimUnit::Exception(std::uint8_t function, std::uint8_t code) const {
    SimResponse r;
    r.answer = SimAnswer::Exception;
    r.exceptionCode = code;
    r.frame = ExceptionFrame(m_nSlaveAddr, function, code);
    return r;
}

SimResponse CSimUnit::Echo(const std::uint8_t* frame) const {
    SimResponse r;
    r.answer = SimAnswer::Reply;
    r.frame.assign(frame, frame + 8);
    return r;
}

bool CSimUnit::CoilValue(int coil) const {
    if (coil == kManualCoil) {
        return StatusBit(0);
    }
    if (coil == kFloatCoil) {
        return StatusBit(1);
    }
    return StatusBit(coil);
}

SimResponse CSimUnit::ReadCoils(const std::uint8_t* frame) {
    const int first = Word(frame + 2);
    const int count = Word(frame + 4);
    const int last = first + count - 1;
    const bool inStatus = first <= kStatusBits - 1 && last <= kStatusBits - 1;
    const bool inCommands = first >= kManualCoil && last <= kFloatCoil;
    if (count < 1 || count > kMaxReadCoils || !(inStatus || inCommands)) {
        return Exception(0x01, kIllegalAddress);
    }
    SimResponse r;
    r.answer = SimAnswer::Reply;
    const int bytes = (count + 7) / 8;
    r.frame = {static_cast<std::uint8_t>(m_nSlaveAddr), 0x01, static_cast<std::uint8_t>(bytes)};
    r.frame.resize(3 + static_cast<std::size_t>(bytes), 0);
    for (int k = 0; k < count; ++k) {
        if (CoilValue(first + k)) {
            r.frame[3 + static_cast<std::size_t>(k / 8)] |= static_cast<std::uint8_t>(1 << (k % 8));
        }
    }
    AppendCrc(r.frame);
    return r;
}

bool CSimUnit::RegisterMapped(int address) const {
    return address == 0 || (address >= kAnalogBase && address < kAnalogBase + kAnalogCount) ||
           (address >= kModuleBase && address < kModuleBase + 3 * kModules);
}

std::uint16_t CSimUnit::RegisterValue(int address) const {
    if (address == 0) {
        return m_wStatus;
    }
    if (address >= kAnalogBase && address < kAnalogBase + kAnalogCount) {
        return AnalogRaw(address - kAnalogBase);
    }
    return ModuleRegister(address);
}

SimResponse CSimUnit::ReadRegisters(const std::uint8_t* frame) {
    const int first = Word(frame + 2);
    const int count = Word(frame + 4);
    if (count < 1 || count > kMaxReadRegisters) {
        return Exception(0x03, kIllegalAddress);
    }
    // The blocks are apart from one another, so a run whose ends are both in
    // the map and which has no hole lies inside one block.
    for (int a = first; a < first + count; ++a) {
        if (!RegisterMapped(a)) {
            return Exception(0x03, kIllegalAddress);
        }
    }
    if (m_bDrift && first < kAnalogBase + kAnalogCount && first + count > kAnalogBase) {
        DriftStep();
    }
    SimResponse r;
    r.answer = SimAnswer::Reply;
    r.frame = {static_cast<std::uint8_t>(m_nSlaveAddr), 0x03, static_cast<std::uint8_t>(2 * count)};
    for (int a = first; a < first + count; ++a) {
        const std::uint16_t v = RegisterValue(a);
        r.frame.push_back(static_cast<std::uint8_t>(v >> 8));
        r.frame.push_back(static_cast<std::uint8_t>(v));
    }
    AppendCrc(r.frame);
    return r;
}

SimResponse CSimUnit::WriteCoil(const std::uint8_t* frame) {
    const int coil = Word(frame + 2);
    const int value = Word(frame + 4);
    // The Modbus order of checks for function 05: the value first, then the address.
    if (value != 0xFF00 && value != 0x0000) {
        return Exception(0x05, kIllegalValue);
    }
    if (coil != kManualCoil && coil != kFloatCoil) {
        return Exception(0x05, kIllegalAddress);
    }
    const int bit = coil == kManualCoil ? 0 : 1;
    if (value == 0xFF00) {
        m_wStatus = static_cast<std::uint16_t>(m_wStatus | 1u << bit);
    } else {
        m_wStatus = static_cast<std::uint16_t>(m_wStatus & ~(1u << bit));
    }
    return Echo(frame);
}

SimResponse CSimUnit::WriteRegister(const std::uint8_t* frame) {
    const int address = Word(frame + 2);
    const int value = Word(frame + 4);
    const int i = address - kModuleBase;
    if (i < 0 || i >= 3 * kModules) {
        return Exception(0x06, kIllegalAddress);
    }
    if (i % 3 == 2 && value != kModuleOn && value != kModuleOff) {
        return Exception(0x06, kIllegalValue);
    }
    m_wModule[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(value);
    return Echo(frame);
}

void CSimUnit::DriftStep() {
    for (int i = 0; i < kAnalogCount; ++i) {
        const double step = (m_random.Unit() * 2.0 - 1.0) * kDriftStep * kNominal[i];
        m_fAnalog[i] = kNominal[i] + (m_fAnalog[i] - kNominal[i]) * kDriftKeep + step;
    }
}
