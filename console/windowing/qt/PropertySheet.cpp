#include "console/windowing/PropertySheet.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "console/windowing/PropertyPage.h"
#include "console/windowing/PropertySheet.h"
#include "console/windowing/SheetBackend.h"
#include "console/windowing/qt/DialogBuilder.h"
#include "console/windowing/qt/QtWindows.h"
#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {

// Button row and margins in dialog units of the sheet's font.
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kMargin = 7;
constexpr int kGap = 4;

// The sheet's window: hands its show, its cancel (Esc, the close box) and the
// tab bar's events to the sheet.
class CSheetDialog : public QDialog {
public:
    CSheetDialog(CPropertySheet& sheet, QWidget* parent) : QDialog(parent), m_sheet(sheet) {}

protected:
    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        if (!event->spontaneous()) {
            WindowingBackend::ShowWindow(m_sheet);
        }
    }
    void reject() override { WindowingBackend::Command(m_sheet, IDCANCEL); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        return WindowingBackend::FilterEvent(m_sheet, watched, event) ||
               QDialog::eventFilter(watched, event);
    }

private:
    CPropertySheet& m_sheet;
};

}  // namespace

struct CSheetNative {
    QPointer<QDialog> dialog;
    QTabWidget* tabs = nullptr;
    std::vector<QWidget*> containers;
    std::vector<std::unique_ptr<CWnd>> buttons;
    bool built = false;
    bool selecting = false;  // the sheet itself is moving the tab bar
};

QDialog* DialogOf(const CPropertySheet& sheet) {
    return qobject_cast<QDialog*>(sheet.GetSafeHwnd());
}

QTabWidget* WindowingBackend::TabsOf(const CPropertySheet& sheet) {
    return sheet.m_pSheet->tabs;
}

QTabWidget* TabControlOf(const CPropertySheet& sheet) {
    return WindowingBackend::TabsOf(sheet);
}

CPropertySheet::CPropertySheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage)
    : m_strCaption(Utf16ToUtf8(FindResourceString(static_cast<int>(nIDCaption)))),
      m_pParentWnd(pParentWnd),
      m_nStartPage(static_cast<int>(iSelectPage)),
      m_pSheet(std::make_unique<CSheetNative>()) {
    m_pSheet->dialog = new CSheetDialog(*this, WidgetOf(pParentWnd));
    WindowingBackend::Attach(*this, m_pSheet->dialog, true);
}

// The dialog goes first, while the sheet its filters call is still whole.
CPropertySheet::~CPropertySheet() {
    if (m_pSheet->tabs != nullptr) {
        m_pSheet->tabs->tabBar()->removeEventFilter(m_pSheet->dialog);
        m_pSheet->tabs->removeEventFilter(m_pSheet->dialog);
    }
    delete m_pSheet->dialog.data();
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
    // A page whose layout ID names no dialog layout has no size, caption or
    // controls: it is left out, in every build, rather than shown broken.
    if (pPage == nullptr || pPage->m_pTemplate == nullptr) {
        qWarning("CPropertySheet::AddPage: page %u has no dialog layout; not added",
                 pPage != nullptr ? pPage->GetTemplateID() : 0U);
        return;
    }
    m_pages.push_back(pPage);
    if (!m_pSheet->built) {
        return;
    }
    auto* container = new QWidget;
    m_pSheet->containers.push_back(container);
    container->setMinimumSize(CDialogBuilder::PageSize(*pPage->m_pTemplate));
    // The first tab becomes current by itself; that is not a page change.
    m_pSheet->selecting = true;
    m_pSheet->tabs->addTab(container, QString::fromStdString(pPage->GetCaption()));
    m_pSheet->selecting = false;
}

INT_PTR CPropertySheet::DoModal() {
    WindowingBackend::Build(*this);
    m_pSheet->dialog->setModal(true);
    return m_pSheet->dialog->exec();
}

BOOL CPropertySheet::Create() {
    WindowingBackend::Build(*this);
    m_pSheet->dialog->show();
    return TRUE;
}

void WindowingBackend::Build(CPropertySheet& sheet) {
    CSheetNative& native = *sheet.m_pSheet;
    if (native.built) {
        return;
    }
    native.built = true;
    QDialog* dialog = native.dialog;
    dialog->setWindowTitle(QString::fromStdString(sheet.m_strCaption));
    if (!sheet.m_pages.empty() && sheet.m_pages.front()->m_pTemplate != nullptr) {
        dialog->setFont(CDialogBuilder::DialogFont(*sheet.m_pages.front()->m_pTemplate));
    }
    const QSize base = CDialogBuilder::BaseUnits(dialog->font());
    const QRect margin = CDialogBuilder::MapDialogRect(base, kMargin, kMargin, kGap, kGap);

    auto* layout = new QVBoxLayout(dialog);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(margin.x(), margin.y(), margin.x(), margin.y());
    layout->setSpacing(margin.y());
    native.tabs = new QTabWidget(dialog);
    layout->addWidget(native.tabs);
    layout->addLayout(BuildButtonRow(sheet, base, margin.width()));

    const std::vector<CPropertyPage*> pages = std::move(sheet.m_pages);
    sheet.m_pages.clear();
    for (CPropertyPage* page : pages) {
        sheet.AddPage(page);
    }
    native.tabs->tabBar()->installEventFilter(dialog);
    native.tabs->installEventFilter(dialog);
    QObject::connect(native.tabs, &QTabWidget::currentChanged, dialog,
                     [&sheet](int nIndex) { OnTabChanged(sheet, nIndex); });
    if (!sheet.m_pages.empty()) {
        const int start = sheet.m_nStartPage;
        ShowPage(sheet, start >= 0 && start < sheet.GetPageCount() ? start : 0);
    }
}

QHBoxLayout* WindowingBackend::BuildButtonRow(CPropertySheet& sheet, const QSize& base, int gap) {
    auto* row = new QHBoxLayout;
    row->setSpacing(gap);
    row->addStretch(1);
    const QSize buttonSize =
        CDialogBuilder::MapDialogRect(base, 0, 0, kButtonWidth, kButtonHeight).size();
    for (const StandardButton& standard : kStandardButtons) {
        auto* button = new QPushButton(QString::fromUtf16(standard.text), sheet.m_pSheet->dialog);
        button->setAutoDefault(false);
        button->setFixedSize(buttonSize);
        auto wnd = std::make_unique<CWnd>();
        Attach(*wnd, button, false);
        wnd->SetDlgCtrlID(standard.id);
        QObject::connect(button, &QPushButton::clicked, sheet.m_pSheet->dialog,
                         [&sheet, button] { sheet.OnCommand(DlgCtrlIdOf(button)); });
        sheet.m_pSheet->buttons.push_back(std::move(wnd));
        row->addWidget(button);
    }
    return row;
}

bool SheetHasTabs(const CPropertySheet& sheet) {
    return WindowingBackend::IsBuilt(sheet);
}

BOOL ChangeSheetPage(CPropertySheet& sheet, int nPage) {
    if (CPropertyPage* current = sheet.GetActivePage();
        current != nullptr && !current->OnKillActive()) {
        return FALSE;
    }
    WindowingBackend::ShowPage(sheet, nPage);
    return TRUE;
}

// The new page is created and told first, then shown: the user never sees it
// with the fields of an earlier visit.
void WindowingBackend::ShowPage(CPropertySheet& sheet, int nPage) {
    CPropertyPage* page = sheet.GetPage(nPage);
    CreatePageWindow(*page, sheet.m_pSheet->containers[static_cast<std::size_t>(nPage)]);
    sheet.m_nCurPage = nPage;
    page->OnSetActive();
    sheet.m_pSheet->selecting = true;
    sheet.m_pSheet->tabs->setCurrentIndex(nPage);
    sheet.m_pSheet->selecting = false;
}

// Anything else that moved the tab bar: an accessibility action on a tab, a
// call to setCurrentIndex, a way of Qt's the filters do not know. Qt cannot
// veto a change, so the old tab is put back at once, quietly, and the change
// is then asked for the sheet's way from the event loop: the leaving page may
// refuse (with its modal validation box), the new one is created and
// activated. Queued, so that the caller - a screen reader or a UI-automation
// tool waiting on its accessibility call - gets its answer before any box
// appears, as Qt's own buttons click later for the same reason.
void WindowingBackend::OnTabChanged(CPropertySheet& sheet, int nIndex) {
    CSheetNative& native = *sheet.m_pSheet;
    if (native.selecting || nIndex == sheet.m_nCurPage || sheet.m_nCurPage < 0) {
        return;
    }
    {
        const QSignalBlocker blocker(native.tabs);
        native.selecting = true;
        native.tabs->setCurrentIndex(sheet.m_nCurPage);
        native.selecting = false;
    }
    QMetaObject::invokeMethod(
        native.dialog, [&sheet, nIndex] { sheet.SetActivePage(nIndex); }, Qt::QueuedConnection);
}

CWnd* CPropertySheet::GetDlgItem(int nID) const {
    for (const std::unique_ptr<CWnd>& button : m_pSheet->buttons) {
        if (button->GetSafeHwnd() != nullptr && button->GetDlgCtrlID() == nID) {
            return button.get();
        }
    }
    return nullptr;
}

bool WindowingBackend::IsBuilt(const CPropertySheet& sheet) {
    return sheet.m_pSheet->built;
}

void CloseSheetOk(CPropertySheet& sheet) {
    WindowingBackend::Ok(sheet);
}

void CloseSheetCancel(CPropertySheet& sheet) {
    WindowingBackend::Cancel(sheet);
}

void WindowingBackend::Ok(CPropertySheet& sheet) {
    if (sheet.GetActivePage() == nullptr || sheet.GetActivePage()->OnKillActive()) {
        sheet.m_pSheet->dialog->done(IDOK);
    }
}

void WindowingBackend::Cancel(CPropertySheet& sheet) {
    if (CPropertyPage* page = sheet.GetActivePage(); page != nullptr && !page->OnQueryCancel()) {
        return;
    }
    sheet.m_pSheet->dialog->done(IDCANCEL);
}

void WindowingBackend::ShowWindow(CPropertySheet& sheet) {
    sheet.OnShowWindow(TRUE, 0);
}

// Esc and the close box arrive here: both are the cancel command.
void WindowingBackend::Command(CPropertySheet& sheet, int nID) {
    sheet.OnCommand(nID);
}

bool WindowingBackend::FilterEvent(CPropertySheet& sheet, QObject* watched, QEvent* event) {
    QTabWidget* tabs = sheet.m_pSheet->tabs;
    if (tabs != nullptr && watched == tabs->tabBar()) {
        return FilterTabBar(sheet, event);
    }
    if (tabs != nullptr && watched == tabs) {
        return FilterTabKeys(sheet, event);
    }
    return false;
}

// The tab bar never changes the current tab by itself.
bool WindowingBackend::FilterTabBar(CPropertySheet& sheet, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const int tab = sheet.m_pSheet->tabs->tabBar()->tabAt(mouse->position().toPoint());
            if (mouse->button() == Qt::LeftButton && tab >= 0) {
                sheet.SetActivePage(tab);
            }
            return true;
        }
        case QEvent::Wheel:
            return true;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            int target = -1;
            if (key == Qt::Key_Left || key == Qt::Key_Up) {
                target = sheet.m_nCurPage - 1;
            } else if (key == Qt::Key_Right || key == Qt::Key_Down) {
                target = sheet.m_nCurPage + 1;
            } else if (key == Qt::Key_Home) {
                target = 0;
            } else if (key == Qt::Key_End) {
                target = sheet.GetPageCount() - 1;
            } else {
                return false;
            }
            if (target >= 0 && target < sheet.GetPageCount()) {
                sheet.SetActivePage(target);
            }
            return true;
        }
        default:
            return false;
    }
}

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDown and Ctrl+PgUp step through the pages.
bool WindowingBackend::FilterTabKeys(CPropertySheet& sheet, QEvent* event) {
    if (event->type() != QEvent::KeyPress || sheet.GetPageCount() < 2) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & Qt::ControlModifier) == 0) {
        return false;
    }
    int step = 0;
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_PageDown) {
        step = (key->modifiers() & Qt::ShiftModifier) != 0 ? -1 : 1;
    } else if (key->key() == Qt::Key_Backtab || key->key() == Qt::Key_PageUp) {
        step = -1;
    } else {
        return false;
    }
    sheet.SetActivePage((sheet.m_nCurPage + step + sheet.GetPageCount()) % sheet.GetPageCount());
    return true;
}
