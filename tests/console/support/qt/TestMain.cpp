// Runs the console tests on Qt's offscreen platform, with a message box
// service that fails any test showing a box it did not expect.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/console/support/ConsoleTestSupport.h"
#include "tests/console/support/MessageBoxRecorder.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    CUnexpectedMessageBoxes unexpected;
    SetMessageBoxService(&unexpected);
    PointPortsNowhere();
    const int result = RUN_ALL_TESTS();
    SetMessageBoxService(nullptr);
    return result;
}
