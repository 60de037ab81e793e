#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "console/RtuToolApp.h"

void ClickButton(QWidget* pButton) {
    auto* button = qobject_cast<QAbstractButton*>(pButton);
    ASSERT_NE(button, nullptr);
    button->click();
}

void TypeInto(QWidget* pEdit, const QString& text) {
    if (auto* line = qobject_cast<QLineEdit*>(pEdit)) {
        line->setText(text);
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(pEdit)) {
        multi->setPlainText(text);
    } else {
        ADD_FAILURE() << "not an edit box";
    }
}

QString TextOf(QWidget* pWnd) {
    if (auto* line = qobject_cast<QLineEdit*>(pWnd)) {
        return line->text();
    }
    if (auto* multi = qobject_cast<QPlainTextEdit*>(pWnd)) {
        return multi->toPlainText();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(pWnd)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(pWnd)) {
        return label->text();
    }
    return {};
}

bool IsChecked(QWidget* pButton) {
    auto* button = qobject_cast<QAbstractButton*>(pButton);
    return button != nullptr && button->isChecked();
}

void ResetTheComm() {
    theComm.ClosePort();
    theComm.m_nPort = 0;
    theComm.m_nOpenPort = 0;
    theComm.m_nBaud = 4;
    theComm.m_nSlaveAddr = 1;
    theComm.m_nWaitTime = 1500;
}
