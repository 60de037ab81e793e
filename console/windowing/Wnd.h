// The layer's own window type: every control of a page, every button of the
// sheet's row, each page and the sheet itself. A CWnd is the program's handle
// on a window of the backend (a Qt widget on Linux, a Win32 window on
// Windows); the pages talk only to it, so they compile for both.
//
// Texts in and out are GBK bytes, the program's code page; tooltips are UTF-8
// because they carry device names as the system gives them. A CWnd whose
// window was destroyed answers as a window that no longer exists: a null
// handle, an empty text, calls that do nothing.
#pragma once

#include <memory>
#include <string>

#include "console/windowing/WinTypes.h"

#ifdef _WIN32
struct HWND__;
using WndHandle = HWND__*;
#else
class QWidget;
using WndHandle = QWidget*;
#endif

// Check states of a check box or radio button.
// (windows.h has them as macros of the same values.)
#ifndef BST_UNCHECKED
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
#endif

// The backend's hold on one native window (defined by each backend).
struct CWndNative;
// The backend's own code: a friend of the layer's classes, so that it can
// build their windows and deliver their notifications (defined by each
// backend; the pages never use it).
struct WindowingBackend;

class CWnd {
public:
    CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Whether the native window goes with the object is the backend's rule:
    // a page's and a sheet's windows do, a control's window goes with its page.
    virtual ~CWnd();

    // The native window, or null when there is none (not built yet, or
    // destroyed). For backends and backend-specific tests only.
    WndHandle GetSafeHwnd() const;

    // The control ID, 0 when it has none. A control's ID may be changed while
    // its window runs; lookups and click commands use the current one.
    int GetDlgCtrlID() const;
    void SetDlgCtrlID(int nID);

    // A multi-line edit box takes and gives line breaks as CR LF.
    void SetWindowText(const char* lpszGbkText);
    std::string GetWindowText() const;

    // BST_CHECKED or BST_UNCHECKED. Unchecking a radio button leaves its
    // group without a checked button.
    int GetCheck() const;
    void SetCheck(int nCheck);

    void SetFocus();
    // Selects characters nStartChar up to nEndChar of an edit box; 0, -1
    // selects the whole text.
    void SetSel(int nStartChar, int nEndChar);
    // The text shown when the pointer rests on the window, UTF-8.
    void SetToolTipText(const std::string& utf8);

    // Removes the window at once from sight and from ID lookups. A control
    // may destroy itself from its own click handler.
    BOOL DestroyWindow();

private:
    friend struct WindowingBackend;
    std::unique_ptr<CWndNative> m_pNative;
};
