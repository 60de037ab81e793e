// The command line of raw access: read coils|discrete|holding|input ADDRESS
// [COUNT], write coil|coils|register|registers ADDRESS VALUE..., a reference
// number (40001) in place of TABLE ADDRESS or KIND ADDRESS, and the --type and
// --word-order or --byte-order options they share with watch read.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "master/RawAccess.h"

struct RawArgs {
    CLI::App* read = nullptr;
    CLI::App* write = nullptr;
    std::string table;    // TABLE, or a reference in its place
    std::string kind;     // KIND, or a reference in its place
    std::string address;  // ADDRESS as given: decimal or 0x hex; after a
                          // reference, COUNT (read) or the first value (write)
    std::string count;    // COUNT as given; empty: 1
    std::vector<std::string> values;
    std::string type = "u16";
    std::string order = "big";  // --word-order
    std::string byteOrder;      // --byte-order
    // Given or not: bits take no --type, and the two orders are one choice.
    CLI::Option* typeOption = nullptr;
    CLI::Option* wordOrderOption = nullptr;
    CLI::Option* byteOrderOption = nullptr;
};

// Adds --type, --word-order and --byte-order to app and the read and write subcommands.
void AddRawOptions(CLI::App& app, RawArgs& args);
// Adds TABLE ADDRESS [COUNT] to a subcommand (read, watch read).
void AddReadArguments(CLI::App& command, RawArgs& args);
// The read the arguments ask for, into read; "" or why it is refused.
std::string MakeRawRead(const RawArgs& args, RawRead& read);
// What to say when a read of TABLE ADDRESS or a write of register(s) ADDRESS
// gets exception 02 or is refused and ADDRESS looks like a reference number
// (five or six digits from 3 or 4: "40101" is holding 100); "" otherwise.
std::string ReferenceHint(const RawArgs& args);
// The PDU of the write the arguments ask for; "" or why it is refused.
std::string MakeRawWrite(const RawArgs& args, std::vector<std::uint8_t>& pdu);
