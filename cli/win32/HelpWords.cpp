#include "cli/HelpWords.h"

#include <utility>

std::string PlatformHelp(std::string help) {
    return WindowsHelp(std::move(help));
}
