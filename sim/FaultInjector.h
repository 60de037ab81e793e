// Faults that the simulated unit can put on the line, for testing the master's
// error handling and for training: each configured fault strikes a given share
// of the requests that the unit answers, decided by a seeded random source so
// that a run can be repeated exactly.
//
//   silent     the request is lost: nothing is executed, nothing is sent
//   exception  the unit is busy: exception 06 instead of the reply, nothing executed
//   corrupt    the reply's CRC is wrong (and no tail of the reply passes a CRC check)
//   noise      1 to 8 junk bytes go out ahead of the reply; they never contain
//              the slave address, so no frame can start in them
//   split      the bytes go out in 2 to 4 pieces with gaps of 2 to 8 ms
//   late       the reply waits the late delay first
//   partial-echo  the adapter's copy of the request is one byte short (the
//              last one is lost); rolled for each piece the adapter echoes,
//              and it makes the line echo even without --adapter-echo
//   wrong-slave   the reply comes from another address: address byte changed,
//              CRC computed again
//   ignore     write commands (05, 06) are acknowledged but change nothing
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimRandom.h"

enum class FaultKind {
    Silent,
    Exception,
    Corrupt,
    Noise,
    Split,
    Late,
    PartialEcho,
    WrongSlave,
    Ignore
};
constexpr int kFaultKinds = 9;

struct FaultSpec {
    FaultKind kind = FaultKind::Silent;
    int percent = 100;
};

// "KIND" or "KIND:PERCENT" with PERCENT 0..100; false when malformed.
bool ParseFault(const std::string& text, FaultSpec& fault);
const char* FaultName(FaultKind kind);

// The faults applied to one reply, as a set of bits 1 << FaultKind.
using FaultSet = unsigned;
constexpr FaultSet Bit(FaultKind kind) {
    return 1u << static_cast<unsigned>(kind);
}
// "noise,split" in the order of FaultKind, or "-" for none.
std::string FaultSetText(FaultSet set);

struct SimChunk {
    std::uint32_t gapMs = 0;  // pause before this piece (after the previous one)
    std::vector<std::uint8_t> bytes;
};

class CFaultInjector {
public:
    static constexpr int kBusyCode = 0x06;

    CFaultInjector(std::vector<FaultSpec> faults, std::uint64_t seed);

    // Rolls every configured fault once, in a fixed order, for one request
    // that the unit answers. Silent wins over all others. The partial echo is
    // not the unit's fault and is rolled by RollPartialEcho instead.
    FaultSet Decide();
    // Rolls the partial-echo fault for one piece that the adapter echoes.
    bool RollPartialEcho();

    // Junk of 1..8 bytes, none equal to slaveAddr.
    std::vector<std::uint8_t> Junk(int slaveAddr);
    // Spoils the CRC so that neither the frame nor any part of it that starts
    // with slaveAddr and runs to its end passes a CRC check.
    void Corrupt(std::vector<std::uint8_t>& frame, int slaveAddr);
    // Cuts bytes into 2..4 pieces (fewer when there are fewer bytes) with gaps
    // of 2..8 ms; the first piece has no gap.
    std::vector<SimChunk> Split(const std::vector<std::uint8_t>& bytes);

    bool Has(FaultKind kind) const;

private:
    std::vector<FaultSpec> m_faults;
    CSimRandom m_random;
};
