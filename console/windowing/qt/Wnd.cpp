// CWnd on Qt widgets: the control ID is a property of the widget, texts are
// converted between the program's GBK and Qt at this edge.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVariant>

#include "console/windowing/qt/GbkText.h"
#include "console/windowing/qt/QtWindows.h"

namespace {

constexpr const char* kIdProperty = "k40DlgCtrlId";
const QString kCrLf = QStringLiteral("\r\n");
const QString kLf = QStringLiteral("\n");

QString TextOfWidget(const QWidget* w) {
    if (const auto* line = qobject_cast<const QLineEdit*>(w)) {
        return line->text();
    }
    if (const auto* multi = qobject_cast<const QPlainTextEdit*>(w)) {
        QString text = multi->toPlainText();
        return text.replace(kLf, kCrLf);
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
        return group->title();
    }
    return w->windowTitle();
}

// An edit box's new text is painted at once: the exchanges block the event
// loop, and the engineer must still see the request and the reply grow.
void SetTextOfWidget(QWidget* w, const QString& text) {
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(text);
        line->setCursorPosition(0);
        line->repaint();
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
        QString plain = text;
        multi->setPlainText(plain.replace(kCrLf, kLf));
        multi->viewport()->repaint();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(text);
    } else {
        w->setWindowTitle(text);
    }
}

}  // namespace

int DlgCtrlIdOf(const QWidget* widget) {
    return widget != nullptr ? widget->property(kIdProperty).toInt() : 0;
}

void WindowingBackend::Attach(CWnd& wnd, QWidget* widget, bool owns) {
    wnd.m_pNative->widget = widget;
    wnd.m_pNative->owns = owns;
}

CWnd::CWnd() : m_pNative(std::make_unique<CWndNative>()) {}

CWnd::~CWnd() {
    if (m_pNative->owns) {
        delete m_pNative->widget.data();
    }
}

WndHandle CWnd::GetSafeHwnd() const {
    return m_pNative->widget;
}

int CWnd::GetDlgCtrlID() const {
    return DlgCtrlIdOf(m_pNative->widget);
}

void CWnd::SetDlgCtrlID(int nID) {
    if (QWidget* w = m_pNative->widget) {
        w->setProperty(kIdProperty, nID);
    }
}

void CWnd::SetWindowText(const char* lpszGbkText) {
    if (QWidget* w = m_pNative->widget) {
        SetTextOfWidget(w, FromGbk(lpszGbkText));
    }
}

std::string CWnd::GetWindowText() const {
    const QWidget* w = m_pNative->widget;
    return w != nullptr ? ToGbk(TextOfWidget(w)).toStdString() : std::string();
}

int CWnd::GetCheck() const {
    const auto* button = qobject_cast<const QAbstractButton*>(m_pNative->widget);
    return button != nullptr && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

// An exclusive group cannot be left without a checked button by Qt's own
// rule; unchecking lifts the rule for that moment.
void CWnd::SetCheck(int nCheck) {
    auto* button = qobject_cast<QAbstractButton*>(m_pNative->widget);
    if (button == nullptr) {
        return;
    }
    QButtonGroup* group = button->group();
    const bool lift = nCheck == BST_UNCHECKED && group != nullptr && group->exclusive();
    if (lift) {
        group->setExclusive(false);
    }
    button->setChecked(nCheck == BST_CHECKED);
    if (lift) {
        group->setExclusive(true);
    }
}

void CWnd::SetFocus() {
    if (QWidget* w = m_pNative->widget) {
        w->setFocus(Qt::OtherFocusReason);
    }
}

void CWnd::SetSel(int nStartChar, int nEndChar) {
    QWidget* w = m_pNative->widget;
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        if (nStartChar == 0 && nEndChar < 0) {
            line->selectAll();
        } else {
            line->setSelection(nStartChar, nEndChar - nStartChar);
        }
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
        if (nStartChar == 0 && nEndChar < 0) {
            multi->selectAll();
            return;
        }
        QTextCursor cursor = multi->textCursor();
        cursor.setPosition(nStartChar);
        cursor.setPosition(nEndChar, QTextCursor::KeepAnchor);
        multi->setTextCursor(cursor);
    }
}

void CWnd::SetToolTipText(const std::string& utf8) {
    if (QWidget* w = m_pNative->widget) {
        w->setToolTip(QString::fromStdString(utf8));
    }
}

// The widget leaves sight, layouts and ID lookups at once; Qt deletes it when
// control returns to the event loop, so a control may destroy itself from its
// own click handler.
BOOL CWnd::DestroyWindow() {
    QWidget* w = m_pNative->widget;
    if (w == nullptr) {
        return FALSE;
    }
    SetDlgCtrlID(0);
    w->hide();
    w->deleteLater();
    return TRUE;
}
