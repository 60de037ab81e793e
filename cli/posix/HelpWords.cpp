#include "cli/HelpWords.h"

std::string PlatformHelp(std::string help) {
    return help;  // written for Linux
}
