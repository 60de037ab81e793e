// The shared helpers on Win32 windows: what a user's tools do from outside,
// by window messages (BM_CLICK, WM_SETTEXT, WM_GETTEXT, BM_GETCHECK), with
// texts as UTF-16 at the window and UTF-8 in the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "base/win32/Wide.h"
#include "console/windowing/win32/Win32Windows.h"
#include "tests/console/support/ConsoleTestSupport.h"

namespace {

// A multi-line box holds CR LF; the tests compare with LF, as on Qt.
std::string WithoutCr(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

}  // namespace

void ClickButton(CWnd* pButton) {
    HWND hwnd = pButton != nullptr ? pButton->GetSafeHwnd() : nullptr;
    ASSERT_NE(hwnd, nullptr);
    SendMessageW(hwnd, BM_CLICK, 0, 0);
}

void TypeInto(CWnd* pEdit, const std::string& utf8) {
    HWND hwnd = pEdit != nullptr ? pEdit->GetSafeHwnd() : nullptr;
    ASSERT_NE(hwnd, nullptr);
    std::string text;
    for (char c : utf8) {  // a multi-line box takes line breaks as CR LF
        if (c == '\n' && (GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE) != 0) {
            text += '\r';
        }
        text += c;
    }
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf16(text).c_str()));
}

std::string TextOf(CWnd* pWnd) {
    HWND hwnd = pWnd != nullptr ? pWnd->GetSafeHwnd() : nullptr;
    return hwnd != nullptr ? WithoutCr(Utf8(WindowTextW(hwnd).c_str())) : std::string();
}

bool IsShown(CWnd* pWnd) {
    HWND hwnd = pWnd != nullptr ? pWnd->GetSafeHwnd() : nullptr;
    return hwnd != nullptr && IsWindowVisible(hwnd);
}

// A thread timer's callback runs from whatever loop dispatches its WM_TIMER,
// a modal dialog's or message box's too.
void RunSoon(std::function<void()> task) {
    static std::map<UINT_PTR, std::function<void()>> tasks;
    const UINT_PTR id = SetTimer(nullptr, 0, 0, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        const auto found = tasks.find(timer);
        if (found != tasks.end()) {
            const std::function<void()> run = std::move(found->second);
            tasks.erase(found);
            run();
        }
    });
    ASSERT_NE(id, 0u);
    tasks[id] = std::move(task);
}

bool IsChecked(CWnd* pButton) {
    HWND hwnd = pButton != nullptr ? pButton->GetSafeHwnd() : nullptr;
    return hwnd != nullptr && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool HasFocus(CWnd* pTop, CWnd* pItem) {
    HWND top = pTop != nullptr ? pTop->GetSafeHwnd() : nullptr;
    HWND item = pItem != nullptr ? pItem->GetSafeHwnd() : nullptr;
    return top != nullptr && item != nullptr && GetFocus() == item;
}

std::string SelectedText(CWnd* pEdit) {
    HWND hwnd = pEdit != nullptr ? pEdit->GetSafeHwnd() : nullptr;
    if (hwnd == nullptr) {
        return {};
    }
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const std::wstring text = WindowTextW(hwnd);
    if (start >= end || end > text.size()) {
        return {};
    }
    return WithoutCr(Utf8(text.substr(start, end - start).c_str()));
}

std::string TabText(CPropertySheet& sheet, int nPage) {
    HWND tabs = sheet.GetSafeHwnd() != nullptr ? PropSheet_GetTabControl(sheet.GetSafeHwnd())
                                               : nullptr;
    wchar_t text[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(std::size(text));
    if (tabs == nullptr ||
        !SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(nPage), reinterpret_cast<LPARAM>(&item))) {
        return {};
    }
    return Utf8(text);
}

void ProcessEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Under Wine every COM port the tests may name leads to a path that does not
// exist (the prefix of tests/windows/wine_prefix.py), and the page tests reach
// their unit over loopback TCP: nothing to point elsewhere here.
void PointPortsNowhere() {}
