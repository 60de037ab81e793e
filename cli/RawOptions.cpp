#include "cli/RawOptions.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>

namespace {

const std::map<std::string, RawTable> kTables = {{"coils", RawTable::Coils},
                                                  {"discrete", RawTable::Discrete},
                                                  {"holding", RawTable::Holding},
                                                  {"input", RawTable::Input}};
const std::map<std::string, RawType> kTypes = {
    {"u16", RawType::U16}, {"s16", RawType::S16}, {"u32", RawType::U32}, {"s32", RawType::S32},
    {"f32", RawType::F32}, {"hex", RawType::Hex}, {"u64", RawType::U64}, {"s64", RawType::S64},
    {"f64", RawType::F64}, {"ascii", RawType::Ascii}};
const std::map<std::string, ByteOrder> kOrders = {{"abcd", ByteOrder::Abcd},
                                                  {"cdab", ByteOrder::Cdab},
                                                  {"badc", ByteOrder::Badc},
                                                  {"dcba", ByteOrder::Dcba}};

// ADDRESS or COUNT into value (clamped to int, so that a huge number is
// reported as out of range by the checks, which multiply nothing before
// they have checked it); "" or why it is no number.
std::string Number(const char* what, const std::string& text, int& value) {
    long long v = 0;
    if (!ParseRawNumber(text, v)) {
        return std::string(what) + " \"" + text + "\" is no number (decimal, or hex as 0x1F)";
    }
    value = static_cast<int>(
        std::max(-1LL, std::min<long long>(v, std::numeric_limits<int>::max())));
    return {};
}

// A coil's state as manuals and scripts write it: on/off, 1/0, true/false
// (any case); false for anything else.
bool CoilState(const std::string& text, bool& on) {
    std::string word;
    for (char c : text) {
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    on = word == "on" || word == "1" || word == "true";
    return on || word == "off" || word == "0" || word == "false";
}

// The byte order of --byte-order, or of --word-order (big abcd, little cdab);
// "" or why the two are refused together.
std::string OrderOf(const RawArgs& args, ByteOrder& order) {
    const bool word = args.wordOrderOption != nullptr && args.wordOrderOption->count() > 0;
    const bool byte = args.byteOrderOption != nullptr && args.byteOrderOption->count() > 0;
    if (word && byte) {
        return "--byte-order and --word-order both say the order: give one (--word-order big "
               "is --byte-order abcd, little is cdab)";
    }
    order = byte ? kOrders.at(args.byteOrder)
                 : (args.order == "little" ? ByteOrder::Cdab : ByteOrder::Abcd);
    return {};
}

// "" or why an option of register values was given for bits: --type, and
// the orders, which say how a value's bytes lie in registers.
std::string BitsRefusal(const RawArgs& args) {
    for (const CLI::Option* option :
         {args.typeOption, args.byteOrderOption, args.wordOrderOption}) {
        if (option != nullptr && option->count() > 0) {
            return option->get_name() +
                   " applies to registers: coils and discrete inputs are single bits";
        }
    }
    return {};
}

const std::map<std::string, int> kWriteKinds = {
    {"coil", 0x05}, {"coils", 0x0F}, {"register", 0x06}, {"registers", 0x10}};

std::string CheckAddress(int address) {
    return address >= 0 && address <= 65535
               ? std::string()
               : "address " + std::to_string(address) + " is not in 0..65535";
}

// "" and the PDU of 05 or 15, or why the states are refused.
std::string CoilsPdu(const RawArgs& args, const std::string& kind, int address,
                     const std::vector<std::string>& values, std::vector<std::uint8_t>& pdu) {
    const std::string refused = BitsRefusal(args);
    if (!refused.empty()) {
        return refused;
    }
    std::vector<bool> states;
    for (const std::string& value : values) {
        bool on = false;
        if (!CoilState(value, on)) {
            return "\"" + value + "\" is no coil state: on or off (1 or 0, true or false)";
        }
        states.push_back(on);
    }
    if (kind == "coil") {
        if (states.size() != 1) {
            return "write coil takes one value: on or off (1 or 0, true or false); several "
                   "are write coils";
        }
        pdu = WriteCoilPdu(address, states[0]);
        return {};
    }
    const int n = static_cast<int>(states.size());
    if (n > kMaxWriteBits) {
        return std::to_string(n) + " coils: a write takes at most " + std::to_string(kMaxWriteBits);
    }
    if (address + n > 65536) {
        return "coils " + std::to_string(address) + ".." + std::to_string(address + n - 1) +
               " run past 65535";
    }
    pdu = WriteCoilsPdu(address, states);
    return {};
}

// "" and the PDU of 06 or 16, or why the values are refused. kind "holding"
// (a reference): 06 for one register, 16 for more.
std::string RegistersPdu(const RawArgs& args, const std::string& kind, int address,
                         const std::vector<std::string>& values, std::vector<std::uint8_t>& pdu) {
    const RawType type = kTypes.at(args.type);
    ByteOrder order = ByteOrder::Abcd;
    std::string why = OrderOf(args, order);
    if (!why.empty()) {
        return why;
    }
    std::vector<std::uint16_t> registers;
    for (const std::string& value : values) {
        if (!EncodeValue(value, type, order, registers, why)) {
            return why;
        }
    }
    if (kind == "register" || (kind == "holding" && registers.size() == 1)) {
        if (registers.size() != 1) {
            return RegistersOf(type) == 2
                       ? "a " + args.type + " value takes two registers: use write registers"
                       : "write register takes one value";
        }
        pdu = WriteRegisterPdu(address, registers[0]);
        return {};
    }
    if (registers.size() > static_cast<std::size_t>(kMaxWriteRegisters)) {
        return std::to_string(registers.size()) + " registers: a write takes at most " +
               std::to_string(kMaxWriteRegisters);
    }
    if (address + static_cast<int>(registers.size()) > 65536) {
        return "registers " + std::to_string(address) + ".." +
               std::to_string(address + static_cast<int>(registers.size()) - 1) +
               " run past 65535";
    }
    pdu = WriteRegistersPdu(address, registers);
    return {};
}

}  // namespace

void AddRawOptions(CLI::App& app, RawArgs& args) {
    args.typeOption = app.add_option("--type", args.type,
                                     "read and write: registers as u16, s16, u32, s32, f32, hex, "
                                     "u64, s64, f64 (32-bit values take two registers, 64-bit "
                                     "four) or ascii (reads: COUNT registers as one text)")
                          ->check(CLI::IsMember({"u16", "s16", "u32", "s32", "f32", "hex", "u64",
                                                 "s64", "f64", "ascii"}))
                          ->capture_default_str();
    args.wordOrderOption =
        app.add_option("--word-order", args.order,
                       "32- and 64-bit values: big (first register high) or little (first "
                       "register low)")
            ->check(CLI::IsMember({"big", "little"}))
            ->capture_default_str();
    args.byteOrderOption =
        app.add_option("--byte-order", args.byteOrder,
                       "the bytes A (highest) to D of a value in its registers: abcd (as big), "
                       "cdab (as little), badc or dcba (the bytes of each register swapped)")
            ->check(CLI::IsMember({"abcd", "cdab", "badc", "dcba"}));
    args.read = app.add_subcommand(
        "read", "any device: read coils|discrete|holding|input ADDRESS [COUNT] (01..04), "
                "ADDRESS from 0; or read REFERENCE [COUNT], 40001 = holding 0");
    AddReadArguments(*args.read, args);
    args.write = app.add_subcommand(
        "write", "any device: write coil ADDRESS on|off|1|0|true|false (05), coils ADDRESS "
                 "STATE... (15), register ADDRESS VALUE (06), registers ADDRESS VALUE... (16); "
                 "or write REFERENCE VALUE...");
    args.write->add_option("KIND", args.kind,
                           "coil, coils, register or registers; or a reference (00001, 40001)")
        ->required();
    args.write->add_option("ADDRESS", args.address,
                           "0..65535 counting from 0, decimal or 0x hex (after a reference: "
                           "the first value)")
        ->required();
    args.write->add_option("VALUE", args.values, "on|off (1|0, true|false), or values of --type");
}

void AddReadArguments(CLI::App& command, RawArgs& args) {
    command
        .add_option("TABLE", args.table,
                     "coils, discrete, holding or input; or a reference in place of TABLE "
                     "ADDRESS: 00001.. coils, 10001.. discrete, 30001.. input, 40001.. "
                     "holding (six digits: 400001..465536), counting from 1")
        ->required();
    command.add_option("ADDRESS", args.address,
                       "first address, 0..65535 counting from 0 (the protocol address), "
                       "decimal or 0x hex");
    command.add_option("COUNT", args.count,
                       "bits, or values of --type (default 1; at most 2000 bits, 125 registers)");
}

std::string MakeRawRead(const RawArgs& args, RawRead& read) {
    std::string why;
    std::string count = args.count;
    if (kTables.count(args.table) != 0) {
        read.table = kTables.at(args.table);
        if (args.address.empty()) {
            return "ADDRESS is missing: read TABLE ADDRESS [COUNT], or read REFERENCE [COUNT]";
        }
        why = Number("address", args.address, read.address);
    } else if (IsReference(args.table)) {
        if (!count.empty()) {
            return "a reference stands for TABLE ADDRESS: read " + args.table + " [COUNT]";
        }
        why = ParseReference(args.table, read.table, read.address);
        count = args.address;
    } else {
        return "\"" + args.table +
               "\" is neither a table (coils, discrete, holding, input) nor a reference "
               "(five or six digits, such as 40001)";
    }
    if (why.empty() && IsBitTable(read.table)) {
        why = BitsRefusal(args);
    }
    if (why.empty()) {
        why = Number("count", count.empty() ? "1" : count, read.count);
    }
    if (!why.empty()) {
        return why;
    }
    read.type = kTypes.at(args.type);
    why = OrderOf(args, read.order);
    if (why.empty()) {
        why = CheckRead(read);
    }
    const std::string hint = ReferenceHint(args);
    return why.empty() || hint.empty() ? why : why + "; " + hint;
}

std::string ReferenceHint(const RawArgs& args) {
    RawTable table = RawTable::Holding;
    int address = 0;
    const std::string& text = args.address;
    const bool read = kTables.count(args.table) != 0;
    const bool write = args.kind == "register" || args.kind == "registers";
    if ((!read && !write) || !IsReference(text) || (text[0] != '3' && text[0] != '4') ||
        !ParseReference(text, table, address).empty()) {
        return {};
    }
    const std::string start = "ADDRESS counts from 0: if " + text +
                              " is a reference from the device's manual, it is " +
                              TableName(table) + " " + std::to_string(address);
    if (read) {
        return start + " (read " + text + ")";
    }
    return table == RawTable::Input ? start + ", which cannot be written"
                                    : start + " (write " + text + " VALUE...)";
}

std::string MakeRawWrite(const RawArgs& args, std::vector<std::uint8_t>& pdu) {
    std::vector<std::string> values = args.values;
    std::string kind = args.kind;
    int address = 0;
    std::string why;
    if (IsReference(kind)) {
        RawTable table = RawTable::Holding;
        why = ParseReference(kind, table, address);
        if (why.empty() && (table == RawTable::Discrete || table == RawTable::Input)) {
            why = "reference " + kind + " is " +
                  (table == RawTable::Input ? "an input register" : "a discrete input") +
                  ", which cannot be written";
        }
        values.insert(values.begin(), args.address);
        kind = table == RawTable::Coils ? (values.size() == 1 ? "coil" : "coils") : "holding";
    } else if (kWriteKinds.count(kind) != 0) {
        why = Number("address", args.address, address);
        if (why.empty()) {
            why = CheckAddress(address);
        }
    } else {
        why = "\"" + kind +
              "\" is neither coil, coils, register nor registers, nor a reference (such as "
              "40001)";
    }
    if (why.empty() && values.empty()) {
        why = "write " + kind + " needs a value";
    }
    if (!why.empty()) {
        return why;
    }
    if (kind == "coil" || kind == "coils") {
        return CoilsPdu(args, kind, address, values, pdu);
    }
    return RegistersPdu(args, kind, address, values, pdu);
}
