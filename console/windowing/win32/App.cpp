// The application on Win32: the common controls of comctl32 version 6 (the
// manifest asks for them), then the application's InitInstance.
#include "console/windowing/WinApp.h"
#include "console/windowing/win32/Win32Windows.h"

int AfxWinMain(CWinApp& app, int /*argc*/, char* /*argv*/[]) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC =
        ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);
    if (!app.InitInstance()) {
        return app.ExitInstance();
    }
    // An application that keeps a modeless sheet open runs here.
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsSheetDialogMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return app.ExitInstance();
}
