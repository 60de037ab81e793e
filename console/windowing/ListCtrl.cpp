#include "console/windowing/ListCtrl.h"

#include <QHeaderView>
#include <QTableWidget>
#include <algorithm>

#include "console/windowing/GbkText.h"

namespace {

constexpr int kFormatRole = Qt::UserRole;

Qt::Alignment AlignmentOf(int nFormat) {
    switch (nFormat & 0x3) {
        case LVCFMT_RIGHT:
            return Qt::AlignRight | Qt::AlignVCenter;
        case LVCFMT_CENTER:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        default:
            return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

}  // namespace

CListCtrl::~CListCtrl() {
    QObject::disconnect(m_trackSelect);
}

BOOL CListCtrl::Attach(QWidget* pWnd) {
    m_pList = qobject_cast<QTableWidget*>(pWnd);
    return m_pList != nullptr;
}

QWidget* CListCtrl::GetSafeHwnd() const {
    return m_pList;
}

int CListCtrl::InsertColumn(int nCol, const char* lpszGbkHeading, int nFormat, int nWidth,
                            int nSubItem) {
    return InsertColumn(nCol, FromGbk(lpszGbkHeading), nFormat, nWidth, nSubItem);
}

int CListCtrl::InsertColumn(int nCol, const QString& heading, int nFormat, int nWidth,
                            int /*nSubItem*/) {
    if (m_pList == nullptr || nCol < 0) {
        return -1;
    }
    const int col = std::min(nCol, m_pList->columnCount());
    m_pList->insertColumn(col);
    auto* header = new QTableWidgetItem(heading);
    header->setData(kFormatRole, nFormat);
    header->setTextAlignment(AlignmentOf(nFormat));
    m_pList->setHorizontalHeaderItem(col, header);
    if (nWidth >= 0) {
        m_pList->setColumnWidth(col, nWidth);
    }
    return col;
}

int CListCtrl::GetColumnCount() const {
    return m_pList != nullptr ? m_pList->columnCount() : 0;
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
    const DWORD previous = m_dwExStyle;
    m_dwExStyle = dwNewStyle;
    if (m_pList == nullptr) {
        return previous;
    }
    m_pList->setShowGrid((dwNewStyle & LVS_EX_GRIDLINES) != 0);
    const bool fullRow = (dwNewStyle & LVS_EX_FULLROWSELECT) != 0;
    m_pList->setSelectionBehavior(fullRow ? QAbstractItemView::SelectRows
                                          : QAbstractItemView::SelectItems);
    QObject::disconnect(m_trackSelect);
    const bool track = (dwNewStyle & LVS_EX_TRACKSELECT) != 0;
    m_pList->setMouseTracking(track);
    if (track) {
        QTableWidget* list = m_pList;
        m_trackSelect = QObject::connect(
            list, &QAbstractItemView::entered, list,
            [list](const QModelIndex& index) { list->setCurrentIndex(index.siblingAtColumn(0)); });
    }
    return previous;
}

BOOL CListCtrl::DeleteAllItems() {
    if (m_pList == nullptr) {
        return FALSE;
    }
    m_pList->setRowCount(0);
    return TRUE;
}

int CListCtrl::InsertItem(int nItem, const char* lpszGbkText) {
    return InsertItem(nItem, FromGbk(lpszGbkText));
}

int CListCtrl::InsertItem(int nItem, const QString& text) {
    if (m_pList == nullptr || nItem < 0 || m_pList->columnCount() == 0) {
        return -1;
    }
    const int row = std::min(nItem, m_pList->rowCount());
    m_pList->insertRow(row);
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(ColumnAlignment(0));
    m_pList->setItem(row, 0, item);
    return row;
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const char* lpszGbkText) {
    return SetItemText(nItem, nSubItem, FromGbk(lpszGbkText));
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const QString& text) {
    if (m_pList == nullptr || nItem < 0 || nItem >= m_pList->rowCount() || nSubItem < 0 ||
        nSubItem >= m_pList->columnCount()) {
        return FALSE;
    }
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(ColumnAlignment(nSubItem));
    // The columns keep the program's narrow widths; a long name or legend
    // is cut off there, so the whole text shows when the pointer rests on it.
    item->setToolTip(text);
    m_pList->setItem(nItem, nSubItem, item);
    return TRUE;
}

int CListCtrl::GetItemCount() const {
    return m_pList != nullptr ? m_pList->rowCount() : 0;
}

QString CListCtrl::GetItemText(int nItem, int nSubItem) const {
    if (m_pList == nullptr) {
        return {};
    }
    const QTableWidgetItem* item = m_pList->item(nItem, nSubItem);
    return item != nullptr ? item->text() : QString();
}

Qt::Alignment CListCtrl::ColumnAlignment(int nCol) const {
    const QTableWidgetItem* header = m_pList->horizontalHeaderItem(nCol);
    return AlignmentOf(header != nullptr ? header->data(kFormatRole).toInt() : LVCFMT_LEFT);
}
