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
const std::map<std::string, RawType> kTypes = {{"u16", RawType::U16}, {"s16", RawType::S16},
                                               {"u32", RawType::U32}, {"s32", RawType::S32},
                                               {"f32", RawType::F32}, {"hex", RawType::Hex}};

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

bool TypeGiven(const RawArgs& args) {
    return args.typeOption != nullptr && args.typeOption->count() > 0;
}

constexpr char kBitsTakeNoType[] =
    "--type applies to registers: coils and discrete inputs are single bits";

std::string CheckAddress(int address) {
    return address >= 0 && address <= 65535
               ? std::string()
               : "address " + std::to_string(address) + " is not in 0..65535";
}

}  // namespace

void AddRawOptions(CLI::App& app, RawArgs& args) {
    args.typeOption = app.add_option("--type", args.type,
                   "read and write: registers as u16, s16, u32, s32, f32 or hex (32-bit "
                   "values take two registers)")
        ->check(CLI::IsMember({"u16", "s16", "u32", "s32", "f32", "hex"}))
        ->capture_default_str();
    app.add_option("--word-order", args.order,
                   "32-bit values: big (first register high) or little (first register low)")
        ->check(CLI::IsMember({"big", "little"}))
        ->capture_default_str();
    args.read = app.add_subcommand(
        "read", "any device: read coils|discrete|holding|input ADDRESS [COUNT] (01..04)");
    AddReadArguments(*args.read, args);
    args.write = app.add_subcommand(
        "write", "any device: write coil ADDRESS on|off|1|0|true|false (05), register ADDRESS VALUE (06), "
                 "registers ADDRESS VALUE... (16)");
    args.write->add_option("KIND", args.kind, "coil, register or registers")
        ->required()
        ->check(CLI::IsMember({"coil", "register", "registers"}));
    args.write->add_option("ADDRESS", args.address, "0..65535, decimal or 0x hex")->required();
    args.write->add_option("VALUE", args.values, "on|off (1|0, true|false), or values of --type")->required();
}

void AddReadArguments(CLI::App& command, RawArgs& args) {
    command.add_option("TABLE", args.table, "coils, discrete, holding or input")
        ->required()
        ->check(CLI::IsMember({"coils", "discrete", "holding", "input"}));
    command.add_option("ADDRESS", args.address, "first address, 0..65535, decimal or 0x hex")
        ->required();
    command.add_option("COUNT", args.count,
                       "bits, or values of --type (default 1; at most 2000 bits, 125 registers)");
}

std::string MakeRawRead(const RawArgs& args, RawRead& read) {
    read.table = kTables.at(args.table);
    if (IsBitTable(read.table) && TypeGiven(args)) {
        return kBitsTakeNoType;
    }
    std::string why = Number("address", args.address, read.address);
    if (why.empty()) {
        why = Number("count", args.count, read.count);
    }
    if (!why.empty()) {
        return why;
    }
    read.type = kTypes.at(args.type);
    read.order = args.order == "little" ? WordOrder::Little : WordOrder::Big;
    return CheckRead(read);
}

std::string MakeRawWrite(const RawArgs& args, std::vector<std::uint8_t>& pdu) {
    int address = 0;
    std::string why = Number("address", args.address, address);
    if (why.empty()) {
        why = CheckAddress(address);
    }
    if (!why.empty()) {
        return why;
    }
    if (args.kind == "coil") {
        bool on = false;
        if (TypeGiven(args)) {
            return kBitsTakeNoType;
        }
        if (args.values.size() != 1 || !CoilState(args.values[0], on)) {
            return "write coil takes one value: on or off (1 or 0, true or false)";
        }
        pdu = WriteCoilPdu(address, on);
        return {};
    }
    const RawType type = kTypes.at(args.type);
    const WordOrder order = args.order == "little" ? WordOrder::Little : WordOrder::Big;
    std::vector<std::uint16_t> registers;
    for (const std::string& value : args.values) {
        if (!EncodeValue(value, type, order, registers, why)) {
            return why;
        }
    }
    if (args.kind == "register") {
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
