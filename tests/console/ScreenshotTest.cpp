// Renders each page layout offscreen to a PNG for a look by eye, and checks
// what the eye would check first: every text fits its control.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>

#include "console/MyPropertySheet.h"
#include "console/windowing/PropertyPage.h"
#include "resources/resource.h"
#include "support/ConsoleTestSupport.h"
#include "support/qt/QtTestSupport.h"

namespace {

// Pixels the text of a control needs beside its own decoration.
int NeededWidth(QWidget* w) {
    const QFontMetrics fm(w->font());
    QStyle* style = w->style();
    if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w) +
               fm.horizontalAdvance(radio->text());
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        return fm.horizontalAdvance(button->text()) + 4;
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return fm.horizontalAdvance(label->text());
    }
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
        return fm.horizontalAdvance(group->title()) + 8;
    }
    return 0;
}

// The text a control shows.
QString TextOfWidget(QWidget* w) {
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text();
    }
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
        return group->title();
    }
    return {};
}

void ExpectNothingClipped(CPropertyPage& page) {
    for (QWidget* w : page.GetSafeHwnd()->findChildren<QWidget*>()) {
        const int needed = NeededWidth(w);
        EXPECT_LE(needed, w->width())
            << page.GetCaption() << ": \"" << TextOfWidget(w).toStdString() << "\"";
        if (qobject_cast<QLabel*>(w) != nullptr && !TextOfWidget(w).isEmpty()) {
            EXPECT_LE(QFontMetrics(w->font()).height(), w->height())
                << TextOfWidget(w).toStdString();
        }
    }
}

TEST(Screenshot, SettingsPage) {
    ResetTheComm();
    CMyPropertySheet sheet;
    sheet.Create();
    SaveScreenshot(*DialogOf(sheet), "settings.png");
    ExpectNothingClipped(*sheet.GetActivePage());
}

TEST(Screenshot, LayoutsOfTheLaterPages) {
    const std::pair<int, const char*> layouts[] = {
        {IDD_READ, "read.png"}, {IDD_CTRL, "control.png"}, {IDD_ABOUT, "about.png"}};
    for (const auto& [id, file] : layouts) {
        CPropertySheet sheet(IDS_SHEET_CAPTION);
        CPropertyPage page(static_cast<UINT>(id));
        sheet.AddPage(&page);
        sheet.Create();
        SaveScreenshot(*DialogOf(sheet), file);
        ExpectNothingClipped(page);
    }
}

// The whole program window on each of its tabs, as the user sees it: files
// sheet_tab1.png, sheet_tab2.png, ... in tab order.
TEST(Screenshot, TheSheetOnEachTab) {
    ResetTheComm();
    CMyPropertySheet sheet;
    sheet.Create();
    for (int i = 0; i < sheet.GetPageCount(); ++i) {
        ASSERT_TRUE(sheet.SetActivePage(i)) << i;
        const QByteArray name = QStringLiteral("sheet_tab%1.png").arg(i + 1).toLatin1();
        SaveScreenshot(*DialogOf(sheet), name.constData());
        ExpectNothingClipped(*sheet.GetActivePage());
    }
}

}  // namespace
