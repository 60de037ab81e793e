// Raw access to any register of any device on the line: the four Modbus
// tables, how register contents are read as numbers, and the requests and
// replies of functions 01 to 06, 15 and 16. Pure functions; k40ctl's read, write
// and watch read run them through the same link as the unit's commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unit/SignalReading.h"

// The four tables of the Modbus data model and their read functions.
enum class RawTable {
    Coils,     // 01, one bit each, writable (05)
    Discrete,  // 02, discrete inputs, one bit each
    Holding,   // 03, holding registers, writable (06, 16)
    Input,     // 04, input registers
};
// How registers are read as values: one register unsigned, signed or as hex
// text; two registers as a 32-bit unsigned, signed or IEEE 754 float value;
// four as a 64-bit one; COUNT registers as one text of two characters a
// register (ascii).
enum class RawType { U16, S16, U32, S32, F32, Hex, U64, S64, F64, Ascii };
// How the bytes of a value lie in its registers, named by where the value's
// bytes A (highest) to D go: abcd the Modbus order (first register high, high
// byte first); cdab registers in reverse order ("word swapped"); badc and dcba
// the same with the two bytes of each register swapped. The rule holds for
// 64-bit values register by register, and a lone register takes the swap.
enum class ByteOrder { Abcd, Cdab, Badc, Dcba };

// The protocol's limits: a read of 2000 bits or 125 registers, a write of
// 1968 bits or 123 registers.
constexpr int kMaxReadBits = 2000;
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteBits = 1968;
constexpr int kMaxWriteRegisters = 123;

struct RawRead {
    RawTable table = RawTable::Holding;
    int address = 0;  // 0..65535
    int count = 1;    // bits, or values of the type (a 32-bit value takes two registers), or
                      // for ascii the registers of the one text
    RawType type = RawType::U16;
    ByteOrder order = ByteOrder::Abcd;
};

// A whole number as device manuals write addresses and values: decimal, or
// hex after 0x ("0x1000"); no sign for hex, no blanks, no octal reading of a
// leading 0. False for anything else or a value beyond long long.
bool ParseRawNumber(const std::string& text, long long& value);

// A reference number as device manuals list registers, counting from 1:
// 0xxxx coils, 1xxxx discrete inputs, 3xxxx input registers, 4xxxx holding
// registers; five digits reach 9999 of a table, six digits 65536 (40001 and
// 400001 are holding register 0). True when text has the form of one (five
// or six digits).
bool IsReference(const std::string& text);
// The table and 0-based address of a reference; "" or why it names no
// register (reference 0 of a table, a first digit of no table, past 65536).
std::string ParseReference(const std::string& text, RawTable& table, int& address);

bool IsBitTable(RawTable table);
// Registers a value of the type takes: 1, 2 or 4 (ascii: 1 a register).
int RegistersOf(RawType type);
// The values a read gives: count, or 1 for ascii.
int ValuesOf(const RawRead& read);
// The bits or registers the read asks for.
int Quantity(const RawRead& read);
// "" when the read lies within the protocol's limits and the address space
// (no wrap past 65535); otherwise the reason, for the refused command line.
std::string CheckRead(const RawRead& read);

// "coils", "discrete", "holding", "input"; "u16" ... "ascii"; "abcd" ... "dcba".
const char* TableName(RawTable table);
const char* TypeName(RawType type);
const char* ByteOrderName(ByteOrder order);

// The PDU (function code and data) of the read.
std::vector<std::uint8_t> ReadPdu(const RawRead& read);
// The columns of a read, without values: one per bit or value of the type,
// reg its first address, name "holding 40".
std::vector<SignalReading> RawColumns(const RawRead& read);
// The values of a reply in RTU form (address, function, byte count, data,
// CRC), one per bit or per value of the type: reg is the value's first
// address, name "holding 40", text as shown ("1", "-2", "3.25", "0x00FF",
// "NaN"; ascii: the characters, a non-printing byte as \xHH and \ as \\).
std::vector<SignalReading> DecodeRawReply(const RawRead& read, const std::uint8_t* frame);

// A value given on the command line as registers of the type, in the byte
// order: false with the reason when it is no number or does not fit the type
// (ascii is never written).
bool EncodeValue(const std::string& text, RawType type, ByteOrder order,
                 std::vector<std::uint16_t>& registers, std::string& why);
// The PDUs of the writes: 05 (coil FF00 on, 0000 off), 06, 15 (the first
// coil in the lowest bit of the first byte), 16.
std::vector<std::uint8_t> WriteCoilPdu(int address, bool on);
std::vector<std::uint8_t> WriteCoilsPdu(int address, const std::vector<bool>& states);
std::vector<std::uint8_t> WriteRegisterPdu(int address, std::uint16_t value);
std::vector<std::uint8_t> WriteRegistersPdu(int address, const std::vector<std::uint16_t>& values);
