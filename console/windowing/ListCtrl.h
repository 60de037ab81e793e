// Wrapper of a report-style list view of a page, bound with DDX_Control:
// columns with a header, width and sub-item index; rows inserted and filled
// cell by cell with GBK text.
#pragma once

#include <memory>
#include <string>

#include "console/windowing/WinTypes.h"

class CWnd;
// The backend's state of a bound list (defined by each backend).
struct CListCtrlNative;

// Extended styles (commctrl.h has them and the alignments as macros of the
// same values).
#ifndef LVS_EX_GRIDLINES
constexpr DWORD LVS_EX_GRIDLINES = 0x01;      // lines between rows and columns
constexpr DWORD LVS_EX_TRACKSELECT = 0x08;    // the row under the pointer gets selected
constexpr DWORD LVS_EX_FULLROWSELECT = 0x20;  // a selected row is highlighted across all columns

// Column alignment.
constexpr int LVCFMT_LEFT = 0;
constexpr int LVCFMT_RIGHT = 1;
constexpr int LVCFMT_CENTER = 2;
#endif

class CListCtrl {
public:
    CListCtrl();
    CListCtrl(const CListCtrl&) = delete;
    CListCtrl& operator=(const CListCtrl&) = delete;
    ~CListCtrl();

    // Binds a list view; FALSE when the window is not one.
    BOOL Attach(CWnd* pWnd);
    CWnd* GetSafeHwnd() const { return m_pWnd; }

    // Inserts column nCol (at most at the end) and returns its index, or -1.
    // A width below 0 keeps the default width. Every column shows the
    // sub-item of its own number; nSubItem is accepted for the record.
    int InsertColumn(int nCol, const char* lpszGbkHeading, int nFormat = LVCFMT_LEFT,
                     int nWidth = -1, int nSubItem = -1);
    int GetColumnCount() const;

    // Replaces the extended style as a whole and returns the previous one.
    DWORD SetExtendedStyle(DWORD dwNewStyle);
    DWORD GetExtendedStyle() const { return m_dwExStyle; }

    BOOL DeleteAllItems();
    // Inserts row nItem (at most at the end) with the text of column 0 and
    // returns its index, or -1.
    int InsertItem(int nItem, const char* lpszGbkText);
    // FALSE when the row or the column does not exist.
    BOOL SetItemText(int nItem, int nSubItem, const char* lpszGbkText);
    int GetItemCount() const;
    // GBK bytes; empty when the cell does not exist.
    std::string GetItemText(int nItem, int nSubItem) const;

private:
    CWnd* m_pWnd = nullptr;
    DWORD m_dwExStyle = 0;
    std::unique_ptr<CListCtrlNative> m_pNative;
};
