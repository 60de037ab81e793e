// The window of a page on Qt: a plain widget inside the sheet's tab, with the
// layout's controls; a click on any button sends its current ID as a command.
#include <QAbstractButton>

#include "console/windowing/PropertyPage.h"
#include "console/windowing/qt/DialogBuilder.h"
#include "console/windowing/qt/QtWindows.h"

void WindowingBackend::CreatePageWindow(CPropertyPage& page, QWidget* parent) {
    if (page.GetSafeHwnd() != nullptr || page.m_pTemplate == nullptr) {
        return;
    }
    auto* window = new QWidget(parent);
    Attach(page, window, true);
    page.m_items = CDialogBuilder::Build(*page.m_pTemplate, window);
    for (const DlgItem& item : page.m_items) {
        if (auto* button = qobject_cast<QAbstractButton*>(WidgetOf(item.wnd.get()))) {
            // The ID is read at the click: it may have been changed since.
            QObject::connect(button, &QAbstractButton::clicked, window,
                             [&page, button] { page.OnCommand(DlgCtrlIdOf(button)); });
        }
    }
    window->show();
    page.OnInitDialog();
}
