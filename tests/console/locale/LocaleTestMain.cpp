// Runs the locale tests with the environment of a German desktop: LC_ALL is
// de_DE.UTF-8 before the application object exists, which then sets the C
// library's locale from it, as it does for the program. The locale must be
// installed (scripts/deps generates it): without it the run fails, it does not
// quietly test the "C" locale.
#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../support/MessageBoxRecorder.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
    if (std::strcmp(std::localeconv()->decimal_point, ",") != 0) {
        std::fprintf(stderr,
                     "LC_NUMERIC is \"%s\", not the comma-decimal de_DE.UTF-8: is the locale "
                     "generated (scripts/deps)?\n",
                     numeric != nullptr ? numeric : "?");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    CUnexpectedMessageBoxes unexpected;
    SetMessageBoxService(&unexpected);
    const int result = RUN_ALL_TESTS();
    SetMessageBoxService(nullptr);
    return result;
}
