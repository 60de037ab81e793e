// Wrapper of a report-style list view of a page, bound with DDX_Control:
// columns with a header, width and sub-item index; rows inserted and filled
// cell by cell with GBK text (or Qt text).
#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QString>

#include "console/windowing/WinTypes.h"

class QTableWidget;
class QWidget;

// Extended styles.
constexpr DWORD LVS_EX_GRIDLINES = 0x01;      // lines between rows and columns
constexpr DWORD LVS_EX_TRACKSELECT = 0x08;    // the row under the pointer gets selected
constexpr DWORD LVS_EX_FULLROWSELECT = 0x20;  // a selected row is highlighted across all columns

// Column alignment.
constexpr int LVCFMT_LEFT = 0;
constexpr int LVCFMT_RIGHT = 1;
constexpr int LVCFMT_CENTER = 2;

class CListCtrl {
public:
    CListCtrl() = default;
    CListCtrl(const CListCtrl&) = delete;
    CListCtrl& operator=(const CListCtrl&) = delete;
    ~CListCtrl();

    // Binds a list view; FALSE when the widget is not one.
    BOOL Attach(QWidget* pWnd);
    QWidget* GetSafeHwnd() const;

    // Inserts column nCol (at most at the end) and returns its index, or -1.
    // A width below 0 keeps the default width. Every column shows the
    // sub-item of its own number; nSubItem is accepted for the record.
    int InsertColumn(int nCol, const char* lpszGbkHeading, int nFormat = LVCFMT_LEFT,
                     int nWidth = -1, int nSubItem = -1);
    int InsertColumn(int nCol, const QString& heading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1);
    int GetColumnCount() const;

    // Replaces the extended style as a whole and returns the previous one.
    DWORD SetExtendedStyle(DWORD dwNewStyle);
    DWORD GetExtendedStyle() const { return m_dwExStyle; }

    BOOL DeleteAllItems();
    // Inserts row nItem (at most at the end) with the text of column 0 and
    // returns its index, or -1.
    int InsertItem(int nItem, const char* lpszGbkText);
    int InsertItem(int nItem, const QString& text);
    // FALSE when the row or the column does not exist.
    BOOL SetItemText(int nItem, int nSubItem, const char* lpszGbkText);
    BOOL SetItemText(int nItem, int nSubItem, const QString& text);
    int GetItemCount() const;
    QString GetItemText(int nItem, int nSubItem) const;

private:
    Qt::Alignment ColumnAlignment(int nCol) const;

    QPointer<QTableWidget> m_pList;
    DWORD m_dwExStyle = 0;
    QMetaObject::Connection m_trackSelect;
};
