#include "cli/Console.h"

#include <unistd.h>

CConsoleArguments::CConsoleArguments(int argc, char** argv) : m_args(argv, argv + argc) {
    for (std::string& a : m_args) {
        m_pointers.push_back(a.data());
    }
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool IsLiveTerminal(int fd) {
    return isatty(fd) != 0;
}
