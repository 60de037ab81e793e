// The command line of raw access: read coils|discrete|holding|input ADDRESS
// [COUNT], write coil|register|registers ADDRESS VALUE..., and the --type and
// --word-order options they share with watch read.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "cli/RawAccess.h"

struct RawArgs {
    CLI::App* read = nullptr;
    CLI::App* write = nullptr;
    std::string table;
    std::string kind;
    std::string address;      // ADDRESS as given: decimal or 0x hex
    std::string count = "1";  // COUNT as given
    std::vector<std::string> values;
    std::string type = "u16";
    std::string order = "big";
    CLI::Option* typeOption = nullptr;  // given or not: bits take no --type
};

// Adds --type and --word-order to app and the read and write subcommands.
void AddRawOptions(CLI::App& app, RawArgs& args);
// Adds TABLE ADDRESS [COUNT] to a subcommand (read, watch read).
void AddReadArguments(CLI::App& command, RawArgs& args);
// The read the arguments ask for, into read; "" or why it is refused.
std::string MakeRawRead(const RawArgs& args, RawRead& read);
// The PDU of the write the arguments ask for; "" or why it is refused.
std::string MakeRawWrite(const RawArgs& args, std::vector<std::uint8_t>& pdu);
