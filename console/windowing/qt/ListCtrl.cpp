#include "console/windowing/ListCtrl.h"

#include <QHeaderView>
#include <QTableWidget>
#include <algorithm>

#include "console/windowing/qt/GbkText.h"
#include "console/windowing/qt/QtWindows.h"

struct CListCtrlNative {
    QPointer<QTableWidget> list;
    QMetaObject::Connection trackSelect;
};

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

Qt::Alignment ColumnAlignment(const QTableWidget* list, int nCol) {
    const QTableWidgetItem* header = list->horizontalHeaderItem(nCol);
    return AlignmentOf(header != nullptr ? header->data(kFormatRole).toInt() : LVCFMT_LEFT);
}

}  // namespace

CListCtrl::CListCtrl() : m_pNative(std::make_unique<CListCtrlNative>()) {}

CListCtrl::~CListCtrl() {
    QObject::disconnect(m_pNative->trackSelect);
}

BOOL CListCtrl::Attach(CWnd* pWnd) {
    m_pNative->list = qobject_cast<QTableWidget*>(WidgetOf(pWnd));
    m_pWnd = m_pNative->list != nullptr ? pWnd : nullptr;
    return m_pWnd != nullptr ? TRUE : FALSE;
}

int CListCtrl::InsertColumn(int nCol, const char* lpszGbkHeading, int nFormat, int nWidth,
                            int /*nSubItem*/) {
    QTableWidget* list = m_pNative->list;
    if (list == nullptr || nCol < 0) {
        return -1;
    }
    const int col = std::min(nCol, list->columnCount());
    list->insertColumn(col);
    auto* header = new QTableWidgetItem(FromGbk(lpszGbkHeading));
    header->setData(kFormatRole, nFormat);
    header->setTextAlignment(AlignmentOf(nFormat));
    list->setHorizontalHeaderItem(col, header);
    if (nWidth >= 0) {
        list->setColumnWidth(col, nWidth);
    }
    return col;
}

int CListCtrl::GetColumnCount() const {
    const QTableWidget* list = m_pNative->list;
    return list != nullptr ? list->columnCount() : 0;
}

DWORD CListCtrl::SetExtendedStyle(DWORD dwNewStyle) {
    const DWORD previous = m_dwExStyle;
    m_dwExStyle = dwNewStyle;
    QTableWidget* list = m_pNative->list;
    if (list == nullptr) {
        return previous;
    }
    list->setShowGrid((dwNewStyle & LVS_EX_GRIDLINES) != 0);
    const bool fullRow = (dwNewStyle & LVS_EX_FULLROWSELECT) != 0;
    list->setSelectionBehavior(fullRow ? QAbstractItemView::SelectRows
                                       : QAbstractItemView::SelectItems);
    QObject::disconnect(m_pNative->trackSelect);
    const bool track = (dwNewStyle & LVS_EX_TRACKSELECT) != 0;
    list->setMouseTracking(track);
    if (track) {
        m_pNative->trackSelect = QObject::connect(
            list, &QAbstractItemView::entered, list,
            [list](const QModelIndex& index) { list->setCurrentIndex(index.siblingAtColumn(0)); });
    }
    return previous;
}

BOOL CListCtrl::DeleteAllItems() {
    QTableWidget* list = m_pNative->list;
    if (list == nullptr) {
        return FALSE;
    }
    list->setRowCount(0);
    return TRUE;
}

int CListCtrl::InsertItem(int nItem, const char* lpszGbkText) {
    QTableWidget* list = m_pNative->list;
    if (list == nullptr || nItem < 0 || list->columnCount() == 0) {
        return -1;
    }
    const int row = std::min(nItem, list->rowCount());
    list->insertRow(row);
    auto* item = new QTableWidgetItem(FromGbk(lpszGbkText));
    item->setTextAlignment(ColumnAlignment(list, 0));
    list->setItem(row, 0, item);
    return row;
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, const char* lpszGbkText) {
    QTableWidget* list = m_pNative->list;
    if (list == nullptr || nItem < 0 || nItem >= list->rowCount() || nSubItem < 0 ||
        nSubItem >= list->columnCount()) {
        return FALSE;
    }
    const QString text = FromGbk(lpszGbkText);
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(ColumnAlignment(list, nSubItem));
    // The columns keep the program's narrow widths; a long name or legend
    // is cut off there, so the whole text shows when the pointer rests on it.
    item->setToolTip(text);
    list->setItem(nItem, nSubItem, item);
    return TRUE;
}

int CListCtrl::GetItemCount() const {
    const QTableWidget* list = m_pNative->list;
    return list != nullptr ? list->rowCount() : 0;
}

std::string CListCtrl::GetItemText(int nItem, int nSubItem) const {
    const QTableWidget* list = m_pNative->list;
    const QTableWidgetItem* item = list != nullptr ? list->item(nItem, nSubItem) : nullptr;
    return item != nullptr ? ToGbk(item->text()).toStdString() : std::string();
}
