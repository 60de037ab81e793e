#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "console/RtuToolApp.h"
#include "link/posix/TermiosDevice.h"

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
    theComm.m_echoMode = EchoMode::Auto;
}

void PointPortsNowhere() {
    CTermiosPorts::Instance().SetFolders("/nonexistent/dev", "/nonexistent/sys");
}

void PointPortsAt(const std::string& devDir, const std::string& sysDir) {
    CTermiosPorts::Instance().SetFolders(devDir, sysDir);
}

QString Hex(const std::vector<std::uint8_t>& bytes) {
    QString text;
    for (std::uint8_t b : bytes) {
        text += QString::asprintf("%02X ", b);
    }
    return text;
}

void SaveScreenshot(QWidget& window, const char* name) {
    const QString dir = QStringLiteral(K40_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    EXPECT_TRUE(window.grab().save(path, "PNG")) << path.toStdString();
}
