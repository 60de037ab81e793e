#include "console/windowing/Edit.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include "console/windowing/qt/QtWindows.h"

BOOL CEdit::Attach(CWnd* pWnd) {
    QWidget* w = WidgetOf(pWnd);
    const bool edit =
        qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<QPlainTextEdit*>(w) != nullptr;
    m_pWnd = edit ? pWnd : nullptr;
    return edit ? TRUE : FALSE;
}
