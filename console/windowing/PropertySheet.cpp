#include "console/windowing/PropertySheet.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "console/windowing/DialogBuilder.h"
#include "console/windowing/DlgItem.h"
#include "console/windowing/GbkText.h"
#include "console/windowing/PropertyPage.h"
#include "console/windowing/WinApp.h"
#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {

struct StandardButton {
    int id;
    const char16_t* text;
};
constexpr StandardButton kButtons[] = {
    {IDOK, u"确定"}, {IDCANCEL, u"取消"}, {ID_APPLY_NOW, u"应用(&A)"}, {IDHELP, u"帮助"}};

// Button row and margins in dialog units of the sheet's font.
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kMargin = 7;
constexpr int kGap = 4;

}  // namespace

CPropertySheet::CPropertySheet(UINT nIDCaption, QWidget* pParentWnd, UINT iSelectPage)
    : QDialog(pParentWnd), m_nStartPage(static_cast<int>(iSelectPage)) {
    const char16_t* caption = FindResourceString(static_cast<int>(nIDCaption));
    m_strCaption = caption != nullptr ? QString::fromUtf16(caption) : QString();
}

CPropertySheet::~CPropertySheet() {
    if (m_pTabs != nullptr) {
        m_pTabs->tabBar()->removeEventFilter(this);
        m_pTabs->removeEventFilter(this);
    }
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
    if (!m_bBuilt) {
        return;
    }
    auto* container = new QWidget;
    m_containers.push_back(container);
    container->setMinimumSize(CDialogBuilder::PageSize(*pPage->m_pTemplate));
    // The first tab becomes current by itself; that is not a page change.
    m_bSelecting = true;
    m_pTabs->addTab(container, pPage->GetCaption());
    m_bSelecting = false;
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const {
    if (nPage < 0 || nPage >= GetPageCount()) {
        return nullptr;
    }
    return m_pages[static_cast<std::size_t>(nPage)];
}

INT_PTR CPropertySheet::DoModal() {
    Build();
    setModal(true);
    return exec();
}

BOOL CPropertySheet::Create() {
    Build();
    show();
    return TRUE;
}

void CPropertySheet::Build() {
    if (m_bBuilt) {
        return;
    }
    m_bBuilt = true;
    setWindowTitle(m_strCaption);
    if (!m_pages.empty() && m_pages.front()->m_pTemplate != nullptr) {
        setFont(CDialogBuilder::DialogFont(*m_pages.front()->m_pTemplate));
    }
    const QSize base = CDialogBuilder::BaseUnits(font());
    const QRect margin = CDialogBuilder::MapDialogRect(base, kMargin, kMargin, kGap, kGap);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(margin.x(), margin.y(), margin.x(), margin.y());
    layout->setSpacing(margin.y());
    m_pTabs = new QTabWidget(this);
    layout->addWidget(m_pTabs);

    auto* row = new QHBoxLayout;
    row->setSpacing(margin.width());
    row->addStretch(1);
    const QSize buttonSize =
        CDialogBuilder::MapDialogRect(base, 0, 0, kButtonWidth, kButtonHeight).size();
    for (const StandardButton& standard : kButtons) {
        auto* button = new QPushButton(QString::fromUtf16(standard.text), this);
        button->setAutoDefault(false);
        button->setFixedSize(buttonSize);
        SetDlgCtrlID(button, standard.id);
        connect(button, &QPushButton::clicked, this,
                [this, button] { OnCommand(GetDlgCtrlID(button)); });
        m_buttons.emplace_back(button);
        row->addWidget(button);
    }
    layout->addLayout(row);

    const std::vector<CPropertyPage*> pages = std::move(m_pages);
    m_pages.clear();
    for (CPropertyPage* page : pages) {
        AddPage(page);
    }
    m_pTabs->tabBar()->installEventFilter(this);
    m_pTabs->installEventFilter(this);
    connect(m_pTabs, &QTabWidget::currentChanged, this, &CPropertySheet::OnTabChanged);
    if (!m_pages.empty()) {
        ShowPage(m_nStartPage >= 0 && m_nStartPage < GetPageCount() ? m_nStartPage : 0);
    }
}

BOOL CPropertySheet::SetActivePage(int nPage) {
    if (!m_bBuilt) {
        m_nStartPage = nPage;
        return TRUE;
    }
    if (nPage < 0 || nPage >= GetPageCount()) {
        return FALSE;
    }
    if (nPage == m_nCurPage) {
        return TRUE;
    }
    if (CPropertyPage* current = GetActivePage(); current != nullptr && !current->OnKillActive()) {
        return FALSE;
    }
    ShowPage(nPage);
    return TRUE;
}

// The new page is created and told first, then shown: the user never sees it
// with the fields of an earlier visit.
void CPropertySheet::ShowPage(int nPage) {
    CPropertyPage* page = GetPage(nPage);
    page->CreatePageWindow(m_containers[static_cast<std::size_t>(nPage)]);
    m_nCurPage = nPage;
    page->OnSetActive();
    m_bSelecting = true;
    m_pTabs->setCurrentIndex(nPage);
    m_bSelecting = false;
}

// Anything else that moved the tab bar: an accessibility action on a tab, a
// call to setCurrentIndex, a way of Qt's the filters do not know. Qt cannot
// veto a change, so the old tab is put back at once, quietly, and the change
// is then asked for the sheet's way from the event loop: the leaving page may
// refuse (with its modal validation box), the new one is created and
// activated. Queued, so that the caller - a screen reader or a UI-automation
// tool waiting on its accessibility call - gets its answer before any box
// appears, as Qt's own buttons click later for the same reason.
void CPropertySheet::OnTabChanged(int nIndex) {
    if (m_bSelecting || nIndex == m_nCurPage || m_nCurPage < 0) {
        return;
    }
    {
        const QSignalBlocker blocker(m_pTabs);
        m_bSelecting = true;
        m_pTabs->setCurrentIndex(m_nCurPage);
        m_bSelecting = false;
    }
    QMetaObject::invokeMethod(
        this, [this, nIndex] { SetActivePage(nIndex); }, Qt::QueuedConnection);
}

QWidget* CPropertySheet::GetDlgItem(int nID) const {
    for (const QPointer<QPushButton>& button : m_buttons) {
        if (button != nullptr && GetDlgCtrlID(button) == nID) {
            return button;
        }
    }
    return nullptr;
}

void CPropertySheet::SetDlgItemText(int nID, const char* lpszGbkText) {
    SetDlgItemText(nID, FromGbk(lpszGbkText));
}

void CPropertySheet::SetDlgItemText(int nID, const QString& text) {
    if (auto* button = qobject_cast<QPushButton*>(GetDlgItem(nID))) {
        button->setText(text);
    }
}

void CPropertySheet::OnShowWindow(BOOL /*bShow*/, UINT /*nStatus*/) {}

BOOL CPropertySheet::OnCommand(int nID) {
    switch (nID) {
        case IDOK:
            if (GetActivePage() == nullptr || GetActivePage()->OnKillActive()) {
                done(IDOK);
            }
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        case ID_APPLY_NOW:
            if (GetActivePage() != nullptr) {
                GetActivePage()->OnKillActive();
            }
            return TRUE;
        case IDHELP:
            if (CWinApp* app = AfxGetApp()) {
                app->OnHelp();
            }
            return TRUE;
        default:
            return FALSE;
    }
}

void CPropertySheet::OnCancel() {
    if (CPropertyPage* page = GetActivePage(); page != nullptr && !page->OnQueryCancel()) {
        return;
    }
    done(IDCANCEL);
}

void CPropertySheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        OnShowWindow(TRUE, 0);
    }
}

// Esc and the close box arrive here: both are the cancel command.
void CPropertySheet::reject() {
    OnCommand(IDCANCEL);
}

bool CPropertySheet::eventFilter(QObject* watched, QEvent* event) {
    if (m_pTabs != nullptr && watched == m_pTabs->tabBar()) {
        return FilterTabBar(event);
    }
    if (watched == m_pTabs) {
        return FilterTabKeys(event);
    }
    return QDialog::eventFilter(watched, event);
}

// The tab bar never changes the current tab by itself.
bool CPropertySheet::FilterTabBar(QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const int tab = m_pTabs->tabBar()->tabAt(mouse->position().toPoint());
            if (mouse->button() == Qt::LeftButton && tab >= 0) {
                SetActivePage(tab);
            }
            return true;
        }
        case QEvent::Wheel:
            return true;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            int target = -1;
            if (key == Qt::Key_Left || key == Qt::Key_Up) {
                target = m_nCurPage - 1;
            } else if (key == Qt::Key_Right || key == Qt::Key_Down) {
                target = m_nCurPage + 1;
            } else if (key == Qt::Key_Home) {
                target = 0;
            } else if (key == Qt::Key_End) {
                target = GetPageCount() - 1;
            } else {
                return false;
            }
            if (target >= 0 && target < GetPageCount()) {
                SetActivePage(target);
            }
            return true;
        }
        default:
            return false;
    }
}

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDown and Ctrl+PgUp step through the pages.
bool CPropertySheet::FilterTabKeys(QEvent* event) {
    if (event->type() != QEvent::KeyPress || GetPageCount() < 2) {
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
    SetActivePage((m_nCurPage + step + GetPageCount()) % GetPageCount());
    return true;
}
