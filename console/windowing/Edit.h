// Wrapper of an edit box of a page (one-line or multi-line), bound to it with
// DDX_Control. Setting the text replaces all of it and paints it at once: the
// exchanges block the event loop, and the engineer must still see the request
// and the reply as they grow.
#pragma once

#include <QPointer>
#include <QString>

#include "console/windowing/WinTypes.h"

class QLineEdit;
class QPlainTextEdit;
class QWidget;

class CEdit {
public:
    CEdit() = default;
    CEdit(const CEdit&) = delete;
    CEdit& operator=(const CEdit&) = delete;

    // Binds an edit box; FALSE when the widget is not one.
    BOOL Attach(QWidget* pWnd);
    // The bound box, or null.
    QWidget* GetSafeHwnd() const;

    // GBK text. A multi-line box breaks lines at CR LF.
    void SetWindowText(const char* lpszGbkText);
    void SetWindowText(const QString& text);
    // The whole text; line breaks of a multi-line box come back as CR LF.
    QString GetWindowText() const;

private:
    QPointer<QLineEdit> m_pLine;
    QPointer<QPlainTextEdit> m_pMulti;
};
