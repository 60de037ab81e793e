// The application on Win32: the common controls of comctl32 version 6 (the
// manifest asks for them), then the application's InitInstance.
#include "console/windowing/WinApp.h"
#include "console/windowing/win32/Win32Windows.h"

// Sent messages (which PeekMessageW handles by itself), paint and posted
// ones; input stays queued, as it did while a handler blocked. A command that
// arrives as a message meanwhile finds the sheet busy and does nothing
// (PageWindow.cpp, PropertySheet.cpp).
void AfxKeepAlive() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0,
                        PM_REMOVE | PM_QS_SENDMESSAGE | PM_QS_PAINT | PM_QS_POSTMESSAGE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop it was meant for
            return;
        }
        DispatchMessageW(&msg);
    }
}

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
