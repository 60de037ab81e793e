// CWnd on a Win32 window: every call goes to the window itself, so what an
// outside program changes (an ID, a text, a check) is what the pages see.
#include "console/windowing/win32/Win32Windows.h"

#include "base/win32/Wide.h"
#include "unit/GbkText.h"

// Through the one GBK decoder of the program, so that both backends show the
// same characters for the same bytes.
std::wstring WideFromGbk(const char* gbk) {
    return Utf16(GbkToUtf8(gbk));
}

std::string GbkFromWide(const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(936, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(936, 0, wide.data(), size, gbk.data(), n, nullptr, nullptr);
    return gbk;
}

std::wstring WindowTextW(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int n = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return text;
}

CWnd::CWnd() : m_pNative(std::make_unique<CWndNative>()) {}

// A control's window goes with its page, a page's with its sheet: the
// dialog manager destroys children with their parent. A page object that goes
// before its sheet leaves its dialog to the sheet, which no longer reaches it.
CWnd::~CWnd() {
    if (m_pNative->record != nullptr) {
        m_pNative->record->page = nullptr;
    }
}

WndHandle CWnd::GetSafeHwnd() const {
    const HWND hwnd = m_pNative->hwnd;
    return hwnd != nullptr && IsWindow(hwnd) ? hwnd : nullptr;
}

int CWnd::GetDlgCtrlID() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? ::GetDlgCtrlID(hwnd) : 0;
}

void CWnd::SetDlgCtrlID(int nID) {
    if (const HWND hwnd = GetSafeHwnd()) {
        SetWindowLongPtrW(hwnd, GWLP_ID, nID);
    }
}

// Painted at once: the exchanges block the message loop, and the engineer
// must still see the request and the reply as they grow.
void CWnd::SetWindowText(const char* lpszGbkText) {
    if (const HWND hwnd = GetSafeHwnd()) {
        SetWindowTextW(hwnd, WideFromGbk(lpszGbkText).c_str());
        UpdateWindow(hwnd);
    }
}

std::string CWnd::GetWindowText() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr ? GbkFromWide(WindowTextW(hwnd)) : std::string();
}

int CWnd::GetCheck() const {
    const HWND hwnd = GetSafeHwnd();
    return hwnd != nullptr && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_CHECKED
                                                                                   : BST_UNCHECKED;
}

// BM_SETCHECK sets this button only: an auto radio button clears the rest of
// its group when clicked, not when set, so a group may be left unchecked.
void CWnd::SetCheck(int nCheck) {
    if (const HWND hwnd = GetSafeHwnd()) {
        SendMessageW(hwnd, BM_SETCHECK, nCheck == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void CWnd::SetFocus() {
    if (const HWND hwnd = GetSafeHwnd()) {
        ::SetFocus(hwnd);
    }
}

void CWnd::SetSel(int nStartChar, int nEndChar) {
    if (const HWND hwnd = GetSafeHwnd()) {
        SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(nStartChar),
                     static_cast<LPARAM>(nEndChar));
    }
}

// One tooltip control per window, made at the first text: TTF_SUBCLASS lets
// it watch the pointer over the window without the page relaying messages.
void CWnd::SetToolTipText(const std::string& utf8) {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr) {
        return;
    }
    std::wstring text = Utf16(utf8);
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_SUBCLASS | TTF_IDISHWND;
    info.hwnd = GetParent(hwnd);
    info.uId = reinterpret_cast<UINT_PTR>(hwnd);
    info.lpszText = text.data();
    HWND& tip = m_pNative->tooltip;
    if (tip != nullptr && IsWindow(tip)) {
        SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
        return;
    }
    tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, info.hwnd,
                          nullptr, GetModuleHandleW(nullptr), nullptr);
    if (tip != nullptr) {
        SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

// A control is gone at once for the program and for lookups by ID (hidden,
// ID 0); its window closes from the message loop, so that a button may
// destroy itself from its own click while the button's code still runs.
BOOL CWnd::DestroyWindow() {
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr) {
        return FALSE;
    }
    if ((GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) == 0) {
        return ::DestroyWindow(hwnd);
    }
    ShowWindow(hwnd, SW_HIDE);
    SetWindowLongPtrW(hwnd, GWLP_ID, 0);
    m_pNative->hwnd = nullptr;
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}
