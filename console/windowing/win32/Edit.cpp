#include "console/windowing/Edit.h"

#include "console/windowing/win32/Win32Windows.h"

// An edit control of the system: a multi-line one takes and gives CR LF as
// its own line breaks.
BOOL CEdit::Attach(CWnd* pWnd) {
    const HWND hwnd = pWnd != nullptr ? WindowingBackend::Handle(*pWnd) : nullptr;
    wchar_t cls[16] = {};
    const bool edit = hwnd != nullptr && GetClassNameW(hwnd, cls, 16) > 0 &&
                      CompareStringOrdinal(cls, -1, WC_EDITW, -1, TRUE) == CSTR_EQUAL;
    m_pWnd = edit ? pWnd : nullptr;
    return edit ? TRUE : FALSE;
}
