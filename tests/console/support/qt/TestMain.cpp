// Runs the console tests on Qt's offscreen platform, with a message box
// service that fails any test showing a box it did not expect.
#include <QApplication>

#include "tests/console/support/MessageBoxRecorder.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    return RunConsoleTests(argc, argv);
}
