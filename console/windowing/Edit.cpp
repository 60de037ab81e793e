#include "console/windowing/Edit.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include "console/windowing/GbkText.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kLf = QStringLiteral("\n");
}  // namespace

BOOL CEdit::Attach(QWidget* pWnd) {
    m_pLine = qobject_cast<QLineEdit*>(pWnd);
    m_pMulti = qobject_cast<QPlainTextEdit*>(pWnd);
    return m_pLine != nullptr || m_pMulti != nullptr;
}

QWidget* CEdit::GetSafeHwnd() const {
    if (m_pLine != nullptr) {
        return m_pLine;
    }
    return m_pMulti;
}

void CEdit::SetWindowText(const char* lpszGbkText) {
    SetWindowText(FromGbk(lpszGbkText));
}

void CEdit::SetWindowText(const QString& text) {
    if (m_pLine != nullptr) {
        m_pLine->setText(text);
        m_pLine->setCursorPosition(0);
        m_pLine->repaint();
    } else if (m_pMulti != nullptr) {
        QString plain = text;
        plain.replace(kCrLf, kLf);
        m_pMulti->setPlainText(plain);
        m_pMulti->viewport()->repaint();
    }
}

QString CEdit::GetWindowText() const {
    if (m_pLine != nullptr) {
        return m_pLine->text();
    }
    if (m_pMulti != nullptr) {
        QString text = m_pMulti->toPlainText();
        text.replace(kLf, kCrLf);
        return text;
    }
    return {};
}
