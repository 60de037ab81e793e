#include "sim/FaultInjector.h"

#include <algorithm>
#include <cstdlib>

#include "link/Crc.h"

namespace {

constexpr const char* kNames[kFaultKinds] = {"silent",       "exception",   "corrupt",
                                             "noise",        "split",       "late",
                                             "partial-echo", "wrong-slave", "ignore"};

// True when some run of the frame that starts with the slave address and ends
// at the frame's end carries a correct CRC: a master that searches the way
// CheckResponse does would take it.
bool AnyTailValid(const std::vector<std::uint8_t>& frame, int slaveAddr) {
    const std::size_t n = frame.size();
    for (std::size_t i = 0; i + 4 <= n; ++i) {
        if (frame[i] != slaveAddr) {
            continue;
        }
        if (EndsInOwnCrc(frame.data() + i, n - i)) {
            return true;
        }
    }
    return false;
}

}  // namespace

const char* FaultName(FaultKind kind) {
    return kNames[static_cast<int>(kind)];
}

bool ParseFault(const std::string& text, FaultSpec& fault) {
    const std::size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    int percent = 100;
    if (colon != std::string::npos) {
        const std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 3 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        percent = std::atoi(digits.c_str());
        if (percent > 100) {
            return false;
        }
    }
    for (int k = 0; k < kFaultKinds; ++k) {
        if (name == kNames[k]) {
            fault.kind = static_cast<FaultKind>(k);
            fault.percent = percent;
            return true;
        }
    }
    return false;
}

std::string FaultSetText(FaultSet set) {
    std::string text;
    for (int k = 0; k < kFaultKinds; ++k) {
        if (set & Bit(static_cast<FaultKind>(k))) {
            if (!text.empty()) {
                text += ',';
            }
            text += kNames[k];
        }
    }
    return text.empty() ? "-" : text;
}

CFaultInjector::CFaultInjector(std::vector<FaultSpec> faults, std::uint64_t seed)
    : m_faults(std::move(faults)), m_random(seed) {
    // A fixed order of rolls whatever the order on the command line.
    std::stable_sort(m_faults.begin(), m_faults.end(),
                     [](const FaultSpec& a, const FaultSpec& b) { return a.kind < b.kind; });
}

bool CFaultInjector::Has(FaultKind kind) const {
    return std::any_of(m_faults.begin(), m_faults.end(),
                       [kind](const FaultSpec& f) { return f.kind == kind; });
}

FaultSet CFaultInjector::Decide() {
    FaultSet set = 0;
    for (const FaultSpec& f : m_faults) {
        if (f.kind != FaultKind::PartialEcho && m_random.Chance(f.percent)) {
            set |= Bit(f.kind);
        }
    }
    return (set & Bit(FaultKind::Silent)) != 0 ? Bit(FaultKind::Silent) : set;
}

bool CFaultInjector::RollPartialEcho() {
    for (const FaultSpec& f : m_faults) {
        if (f.kind == FaultKind::PartialEcho) {
            return m_random.Chance(f.percent);
        }
    }
    return false;
}

std::vector<std::uint8_t> CFaultInjector::Junk(int slaveAddr) {
    std::vector<std::uint8_t> junk(m_random.Between(1, 8));
    for (std::uint8_t& b : junk) {
        do {
            b = static_cast<std::uint8_t>(m_random.Below(256));
        } while (b == slaveAddr);
    }
    return junk;
}

void CFaultInjector::Corrupt(std::vector<std::uint8_t>& frame, int slaveAddr) {
    if (frame.size() < 2) {
        return;
    }
    const std::uint8_t original = frame.back();
    // Each value of the last byte satisfies at most one CRC per start, so a
    // few tries always find one that none accepts.
    std::uint32_t flip = m_random.Between(1, 255);
    for (int tries = 0; tries < 255; ++tries) {
        frame.back() = static_cast<std::uint8_t>(original ^ flip);
        if (!AnyTailValid(frame, slaveAddr)) {
            return;
        }
        flip = flip % 255 + 1;
    }
}

std::vector<SimChunk> CFaultInjector::Split(const std::vector<std::uint8_t>& bytes) {
    const std::uint32_t n = static_cast<std::uint32_t>(bytes.size());
    const std::uint32_t pieces = std::min<std::uint32_t>(m_random.Between(2, 4), std::max(n, 1u));
    // pieces - 1 distinct cut points in 1..n-1.
    std::vector<std::uint32_t> cuts;
    while (cuts.size() + 1 < pieces) {
        const std::uint32_t c = m_random.Between(1, n - 1);
        if (std::find(cuts.begin(), cuts.end(), c) == cuts.end()) {
            cuts.push_back(c);
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(n);
    std::vector<SimChunk> chunks;
    std::uint32_t from = 0;
    for (std::uint32_t to : cuts) {
        SimChunk c;
        c.gapMs = chunks.empty() ? 0 : m_random.Between(2, 8);
        c.bytes.assign(bytes.begin() + from, bytes.begin() + to);
        chunks.push_back(std::move(c));
        from = to;
    }
    return chunks;
}
