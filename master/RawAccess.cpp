#include "master/RawAccess.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr int kAddressSpace = 65536;

void PutWord(std::vector<std::uint8_t>& pdu, int word) {
    pdu.push_back(static_cast<std::uint8_t>(word >> 8));
    pdu.push_back(static_cast<std::uint8_t>(word));
}

}  // namespace

bool ParseRawNumber(const std::string& text, long long& value) {
    // Digits only after the 0x or the sign: strtoll alone would also take
    // blanks, a second 0x and a sign after the first ("0x 1F", "0x0x10").
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::size_t first = hex ? 2 : (!text.empty() && text[0] == '-' ? 1 : 0);
    if (first >= text.size()) {
        return false;
    }
    for (std::size_t i = first; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (hex ? !std::isxdigit(c) : !std::isdigit(c)) {
            return false;
        }
    }
    errno = 0;
    value = std::strtoll(text.c_str() + (hex ? 2 : 0), nullptr, hex ? 16 : 10);
    return errno == 0;
}

bool IsReference(const std::string& text) {
    return (text.size() == 5 || text.size() == 6) &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

std::string ParseReference(const std::string& text, RawTable& table, int& address) {
    switch (text[0]) {
        case '0':
            table = RawTable::Coils;
            break;
        case '1':
            table = RawTable::Discrete;
            break;
        case '3':
            table = RawTable::Input;
            break;
        case '4':
            table = RawTable::Holding;
            break;
        default:
            return "reference " + text +
                   " names no table: 0xxxx coils, 1xxxx discrete inputs, 3xxxx input "
                   "registers, 4xxxx holding registers";
    }
    const int number = std::atoi(text.c_str() + 1);
    if (number == 0) {
        return "reference " + text + " names no register: references count from 1 (" +
               text.substr(0, 1) + std::string(text.size() - 2, '0') + "1 is " +
               TableName(table) + " 0)";
    }
    if (number > kAddressSpace) {
        return "reference " + text + " is past the last register (" + text.substr(0, 1) +
               "65536)";
    }
    address = number - 1;
    return {};
}

bool IsBitTable(RawTable table) {
    return table == RawTable::Coils || table == RawTable::Discrete;
}

int RegistersOf(RawType type) {
    switch (type) {
        case RawType::U32:
        case RawType::S32:
        case RawType::F32:
            return 2;
        case RawType::U64:
        case RawType::S64:
        case RawType::F64:
            return 4;
        default:
            return 1;
    }
}

int ValuesOf(const RawRead& read) {
    return !IsBitTable(read.table) && read.type == RawType::Ascii ? 1 : read.count;
}

int Quantity(const RawRead& read) {
    return IsBitTable(read.table) ? read.count : read.count * RegistersOf(read.type);
}

std::string CheckRead(const RawRead& read) {
    const bool bits = IsBitTable(read.table);
    const int limit = bits ? kMaxReadBits : kMaxReadRegisters;
    const int per = bits ? 1 : RegistersOf(read.type);
    if (read.address < 0 || read.address >= kAddressSpace) {
        return "address " + std::to_string(read.address) + " is not in 0..65535";
    }
    // The count is checked before it is multiplied into a quantity, which
    // could overflow for any count beyond the protocol's limit.
    if (read.count < 1 || read.count > limit / per) {
        return "count " + std::to_string(read.count) + " is not in 1.." +
               std::to_string(limit / (bits ? 1 : RegistersOf(read.type))) +
               (bits ? " (bits a read)" : " (registers a read: " + std::to_string(limit) + ")");
    }
    const int n = Quantity(read);
    if (read.address + n > kAddressSpace) {
        return "addresses " + std::to_string(read.address) + ".." +
               std::to_string(read.address + n - 1) + " run past 65535";
    }
    return {};
}

const char* TableName(RawTable table) {
    switch (table) {
        case RawTable::Coils:
            return "coils";
        case RawTable::Discrete:
            return "discrete";
        case RawTable::Holding:
            return "holding";
        case RawTable::Input:
            return "input";
    }
    return "";
}

const char* TypeName(RawType type) {
    static const char* const kNames[] = {"u16", "s16", "u32", "s32", "f32",
                                         "hex", "u64", "s64", "f64", "ascii"};
    return kNames[static_cast<int>(type)];
}

const char* ByteOrderName(ByteOrder order) {
    static const char* const kNames[] = {"abcd", "cdab", "badc", "dcba"};
    return kNames[static_cast<int>(order)];
}

std::vector<std::uint8_t> ReadPdu(const RawRead& read) {
    std::vector<std::uint8_t> pdu = {static_cast<std::uint8_t>(static_cast<int>(read.table) + 1)};
    PutWord(pdu, read.address);
    PutWord(pdu, Quantity(read));
    return pdu;
}

std::vector<SignalReading> RawColumns(const RawRead& read) {
    std::vector<SignalReading> columns(static_cast<std::size_t>(ValuesOf(read)));
    const int step = IsBitTable(read.table) ? 1 : RegistersOf(read.type);
    for (int i = 0; i < ValuesOf(read); ++i) {
        SignalReading& c = columns[static_cast<std::size_t>(i)];
        c.reg = read.address + i * step;
        c.analog = !IsBitTable(read.table);
        c.name = std::string(TableName(read.table)) + " " + std::to_string(c.reg);
    }
    return columns;
}

std::vector<std::uint8_t> WriteCoilPdu(int address, bool on) {
    std::vector<std::uint8_t> pdu = {0x05};
    PutWord(pdu, address);
    PutWord(pdu, on ? 0xFF00 : 0x0000);
    return pdu;
}

std::vector<std::uint8_t> WriteCoilsPdu(int address, const std::vector<bool>& states) {
    std::vector<std::uint8_t> pdu = {0x0F};
    PutWord(pdu, address);
    PutWord(pdu, static_cast<int>(states.size()));
    pdu.push_back(static_cast<std::uint8_t>((states.size() + 7) / 8));
    pdu.resize(pdu.size() + (states.size() + 7) / 8);
    for (std::size_t i = 0; i < states.size(); ++i) {
        if (states[i]) {
            pdu[6 + i / 8] = static_cast<std::uint8_t>(pdu[6 + i / 8] | 1 << (i % 8));
        }
    }
    return pdu;
}

std::vector<std::uint8_t> WriteRegisterPdu(int address, std::uint16_t value) {
    std::vector<std::uint8_t> pdu = {0x06};
    PutWord(pdu, address);
    PutWord(pdu, value);
    return pdu;
}

std::vector<std::uint8_t> WriteRegistersPdu(int address, const std::vector<std::uint16_t>& values) {
    std::vector<std::uint8_t> pdu = {0x10};
    PutWord(pdu, address);
    PutWord(pdu, static_cast<int>(values.size()));
    pdu.push_back(static_cast<std::uint8_t>(2 * values.size()));
    for (std::uint16_t v : values) {
        PutWord(pdu, v);
    }
    return pdu;
}
