// The echo watch's hook on Win32: the box is subclassed, so that the watch
// sees each text the box is given (WM_SETTEXT, after the box took it) and
// each time it is painted.
#include "console/windowing/Edit.h"
#include "console/windowing/win32/Win32Windows.h"
#include "tests/console/support/EchoWatch.h"

struct CEchoWatch::Hook {
    static constexpr UINT_PTR kId = 0x4B40;
    HWND box = nullptr;

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR, DWORD_PTR data) {
        auto* watch = reinterpret_cast<CEchoWatch*>(data);
        if (message == WM_PAINT) {
            watch->Painting();
        }
        const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        if (message == WM_SETTEXT) {
            watch->Changed();
        }
        return result;
    }
};

CEchoWatch::CEchoWatch(CEdit& box) : m_box(box), m_pHook(std::make_unique<Hook>()) {
    CWnd* wnd = box.GetSafeHwnd();
    m_pHook->box = wnd != nullptr ? wnd->GetSafeHwnd() : nullptr;
    if (m_pHook->box != nullptr) {
        SetWindowSubclass(m_pHook->box, &Hook::Proc, Hook::kId, reinterpret_cast<DWORD_PTR>(this));
    }
}

CEchoWatch::~CEchoWatch() {
    if (m_pHook->box != nullptr && IsWindow(m_pHook->box)) {
        RemoveWindowSubclass(m_pHook->box, &Hook::Proc, Hook::kId);
    }
}
