// The shared helpers on Qt widgets, and the Linux-only ones.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>

#include "QtTestSupport.h"
#include "link/posix/TermiosDevice.h"
#include "tests/console/support/ConsoleTestSupport.h"

void ClickButton(CWnd* pButton) {
    auto* button = qobject_cast<QAbstractButton*>(WidgetOf(pButton));
    ASSERT_NE(button, nullptr);
    button->click();
}

void TypeInto(CWnd* pEdit, const std::string& utf8) {
    QWidget* w = WidgetOf(pEdit);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        line->setText(Q(utf8));
    } else if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
        multi->setPlainText(Q(utf8));
    } else {
        ADD_FAILURE() << "not an edit box";
    }
}

std::string TextOf(CWnd* pWnd) {
    QWidget* w = WidgetOf(pWnd);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        return line->text().toStdString();
    }
    if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
        return multi->toPlainText().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text().toStdString();
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text().toStdString();
    }
    return w != nullptr ? w->windowTitle().toStdString() : std::string();
}

bool IsShown(CWnd* pWnd) {
    const QWidget* w = WidgetOf(pWnd);
    return w != nullptr && w->isVisible();
}

void RunSoon(std::function<void()> task) {
    QTimer::singleShot(0, std::move(task));
}

bool IsChecked(CWnd* pButton) {
    auto* button = qobject_cast<QAbstractButton*>(WidgetOf(pButton));
    return button != nullptr && button->isChecked();
}

bool HasFocus(CWnd* pTop, CWnd* pItem) {
    QWidget* top = WidgetOf(pTop);
    return top != nullptr && WidgetOf(pItem) != nullptr &&
           top->window()->focusWidget() == WidgetOf(pItem);
}

std::string SelectedText(CWnd* pEdit) {
    QWidget* w = WidgetOf(pEdit);
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        return line->selectedText().toStdString();
    }
    if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
        return multi->textCursor().selectedText().toStdString();
    }
    return {};
}

std::string TabText(CPropertySheet& sheet, int nPage) {
    const QTabWidget* tabs = TabControlOf(sheet);
    return tabs != nullptr ? tabs->tabText(nPage).toStdString() : std::string();
}

void ProcessEvents() {
    QCoreApplication::processEvents();
}

void PointPortsNowhere() {
    CTermiosPorts::Instance().SetFolders("/nonexistent/dev", "/nonexistent/sys");
}

void PointPortsAt(const std::string& devDir, const std::string& sysDir) {
    CTermiosPorts::Instance().SetFolders(devDir, sysDir);
}

void SaveScreenshot(QWidget& window, const char* name) {
    const QString dir = QStringLiteral(K40_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    EXPECT_TRUE(window.grab().save(path, "PNG")) << path.toStdString();
}
