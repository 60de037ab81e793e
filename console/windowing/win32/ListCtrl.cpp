// CListCtrl on the system's list view (SysListView32) in report view: the
// same control an outside program reads with LVM_GETITEMTEXTW.
#include "console/windowing/ListCtrl.h"

#include <algorithm>

#include "console/windowing/win32/Win32Windows.h"

struct CListCtrlNative {};

namespace {

HWND ListOf(const CWnd* pWnd) {
    return pWnd != nullptr ? WindowingBackend::Handle(*pWnd) : nullptr;
}

int ColumnCount(HWND list) {
    const HWND header = ListView_GetHeader(list);
    return header != nullptr ? Header_GetItemCount(header) : 0;
}

// Column widths are pixels of the layouts' 8 x 16 pixel cell: they grow with
// the page's dialog base units as the page does, with the display scaling
// and with a stand-in face of another size.
int ScaledWidth(HWND list, int nWidth) {
    RECT units{0, 0, 400, 0};  // 400 dialog units: 100 base units across
    if (!MapDialogRect(GetParent(list), &units) || units.right <= 0) {
        return nWidth;
    }
    return MulDiv(nWidth, units.right, 100 * 8);
}

}  // namespace

CListCtrl::CListCtrl() : m_pNative(std::make_unique<CListCtrlNative>()) {}

CListCtrl::~CListCtrl() = default;

BOOL CListCtrl::Attach(CWnd* pWnd) {
    const HWND hwnd = ListOf(pWnd);
    wchar_t cls[32] = {};
    const bool list = hwnd != nullptr && GetClassNameW(hwnd, cls, 32) > 0 &&
                      CompareStringOrdinal(cls, -1, WC_LISTVIEWW, -1, TRUE) == CSTR_EQUAL;
    m_pWnd = list ? pWnd : nullptr;
    return list ? TRUE : FALSE;
}

int CListCtrl::InsertColumn(int nCol, const char* lpszGbkHeading, int nFormat, int nWidth,
                            int nSubItem) {
    const HWND list = ListOf(m_pWnd);
    if (list == nullptr || nCol < 0) {
        return -1;
    }
    const int col = std::min(nCol, ColumnCount(list));
    std::wstring heading = WideFromGbk(lpszGbkHeading);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = nFormat;
    column.pszText = heading.data();
    // Every column shows the sub-item of its own number.
    column.iSubItem = col;
    if (nWidth >= 0) {
        column.mask |= LVCF_WIDTH;
        column.cx = ScaledWidth(list, nWidth);
    }
    static_cast<void>(nSubItem);
    return static_cast<int>(
        SendMessageW(list, LVM_INSERTCOLUMNW, col, reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::GetColumnCount() const {
    const HWND list = ListOf(m_pWnd);
    return list != nullptr ? ColumnCount(list) : 0;
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
    const DWORD previous = m_dwExStyle;
    m_dwExStyle = dwNewStyle;
    if (const HWND list = ListOf(m_pWnd)) {
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, dwNewStyle);
    }
    return previous;
}

BOOL CListCtrl::DeleteAllItems() {
    const HWND list = ListOf(m_pWnd);
    return list != nullptr && ListView_DeleteAllItems(list) ? TRUE : FALSE;
}

int CListCtrl::InsertItem(int nItem, const char* lpszGbkText) {
    const HWND list = ListOf(m_pWnd);
    if (list == nullptr || nItem < 0) {
        return -1;
    }
    std::wstring text = WideFromGbk(lpszGbkText);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = std::min(nItem, GetItemCount());
    item.pszText = text.data();
    return static_cast<int>(
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const char* lpszGbkText) {
    const HWND list = ListOf(m_pWnd);
    if (list == nullptr || nItem < 0 || nItem >= GetItemCount() || nSubItem < 0 ||
        nSubItem >= ColumnCount(list)) {
        return FALSE;
    }
    std::wstring text = WideFromGbk(lpszGbkText);
    LVITEMW item{};
    item.iSubItem = nSubItem;
    item.pszText = text.data();
    return SendMessageW(list, LVM_SETITEMTEXTW, nItem, reinterpret_cast<LPARAM>(&item)) != 0
               ? TRUE
               : FALSE;
}

int CListCtrl::GetItemCount() const {
    const HWND list = ListOf(m_pWnd);
    return list != nullptr ? ListView_GetItemCount(list) : 0;
}

std::string CListCtrl::GetItemText(int nItem, int nSubItem) const {
    const HWND list = ListOf(m_pWnd);
    if (list == nullptr || nItem < 0 || nItem >= GetItemCount() || nSubItem < 0 ||
        nSubItem >= ColumnCount(list)) {
        return {};
    }
    std::wstring text(512, L'\0');
    LVITEMW item{};
    item.iSubItem = nSubItem;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, nItem, reinterpret_cast<LPARAM>(&item));
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return GbkFromWide(text);
}
