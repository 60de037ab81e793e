// Runs the console tests on the Win32 backend (under Wine, on the test run's
// Xvfb), with a message box service that fails any test showing a box it did
// not expect.
#include <gtest/gtest.h>

#include "console/windowing/win32/Win32Windows.h"

#include "tests/console/support/ConsoleTestSupport.h"
#include "tests/console/support/MessageBoxRecorder.h"

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    CUnexpectedMessageBoxes unexpected;
    SetMessageBoxService(&unexpected);
    PointPortsNowhere();
    const int result = RUN_ALL_TESTS();
    SetMessageBoxService(nullptr);
    return result;
}
