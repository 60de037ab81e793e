// The Qt backend's private side of the layer: how a CWnd holds its widget,
// and what the backend's own code and the Linux-only tests need of Qt (the
// widget of a CWnd, the sheet's dialog and tab bar, the program's icon).
// Pages never include this.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QWidget>

#include "console/windowing/Wnd.h"

class CPropertyPage;
class CPropertySheet;
class QDialog;
class QEvent;
class QHBoxLayout;
class QTabWidget;

// A CWnd's widget, watched: it reads null once Qt has deleted the widget.
// An owning CWnd (a page, a sheet) deletes its widget with itself.
struct CWndNative {
    QPointer<QWidget> widget;
    bool owns = false;
};

struct WindowingBackend {
    // Binds wnd to widget (which may be null); owning: wnd deletes it.
    static void Attach(CWnd& wnd, QWidget* widget, bool owns);
    // Builds the page's window inside parent from its layout, wires its
    // buttons to OnCommand and runs OnInitDialog; once only.
    static void CreatePageWindow(CPropertyPage& page, QWidget* parent);

    // The sheet: its window is built at the first Create or DoModal.
    static void Build(CPropertySheet& sheet);
    static QHBoxLayout* BuildButtonRow(CPropertySheet& sheet, const QSize& base, int gap);
    static void ShowPage(CPropertySheet& sheet, int nPage);
    static QTabWidget* TabsOf(const CPropertySheet& sheet);
    static void OnTabChanged(CPropertySheet& sheet, int nIndex);
    static void Command(CPropertySheet& sheet, int nID);
    static void ShowWindow(CPropertySheet& sheet);
    static void Ok(CPropertySheet& sheet);
    static bool IsBuilt(const CPropertySheet& sheet);
    static void Cancel(CPropertySheet& sheet);
    // The tab bar's clicks, keys and wheel, and the page keys of the tab
    // widget, all go through SetActivePage.
    static bool FilterEvent(CPropertySheet& sheet, QObject* watched, QEvent* event);
    static bool FilterTabBar(CPropertySheet& sheet, QEvent* event);
    static bool FilterTabKeys(CPropertySheet& sheet, QEvent* event);
};

// The widget of a window object, or null.
inline QWidget* WidgetOf(const CWnd* pWnd) {
    return pWnd != nullptr ? pWnd->GetSafeHwnd() : nullptr;
}

// The sheet's dialog and its tab widget, null before the sheet is built.
QDialog* DialogOf(const CPropertySheet& sheet);
QTabWidget* TabControlOf(const CPropertySheet& sheet);

// The control ID a widget carries, 0 when it has none.
int DlgCtrlIdOf(const QWidget* widget);

// The program's icon (icon 128) from the compiled-in resources: the window
// icon of every window. Empty when the program carries no icon.
QIcon AfxLoadMainIcon();
