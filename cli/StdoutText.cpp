#include "cli/StdoutText.h"

#include <cstdio>

bool WriteStdout(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        std::perror("k40ctl: cannot write standard output");
        return false;
    }
    return true;
}
