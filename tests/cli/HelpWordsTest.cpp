// k40ctl's help on Windows names what holds there: no signals, no /dev paths.
#include "cli/HelpWords.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/CtlOptions.h"

namespace {

std::string LinuxHelp() {
    const char* argv[] = {"k40ctl", "--help"};
    CtlOptions options;
    std::ostringstream out;
    std::ostringstream err;
    ParseCtlOptions(2, const_cast<char**>(argv), options, out, err);
    return out.str();
}

TEST(HelpWords, TheWindowsHelpSpeaksOfWhatHoldsOnWindows) {
    const std::string posixHelp = LinuxHelp();
    ASSERT_NE(posixHelp.find("SIGHUP"), std::string::npos);  // what there is to replace
    const std::string windows = WindowsHelp(posixHelp);
    for (const char* gone : {"SIGINT", "SIGTERM", "SIGHUP", "/dev/", "ttyUSB", "logrotate"}) {
        EXPECT_EQ(windows.find(gone), std::string::npos) << gone;
    }
    for (const char* there : {"Ctrl+Break", "console window is closed", "--port COM3 ai",
                              "COMn is that port", "mbtcp://HOST[:PORT]"}) {
        EXPECT_NE(windows.find(there), std::string::npos) << there;
    }
}

}  // namespace
