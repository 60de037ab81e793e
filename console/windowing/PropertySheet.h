// A tabbed sheet of property pages: one tab per page in the order of AddPage,
// sized to its largest page, with the standard button row OK, Cancel, Apply
// and Help (IDOK, IDCANCEL, ID_APPLY_NOW, IDHELP). Buttons are found by ID and
// may be destroyed, renumbered and relabelled; a click sends the button's
// current ID as a command. Cancel, Esc and the close box close the sheet
// without checking any page.
//
// A tab change asks the current page first (OnKillActive); when it refuses,
// the tab does not change at all. Clicks, keys and wheel on the tab bar are
// all routed through SetActivePage, which is also how tests select a page;
// any other change of the tab bar's current tab (an accessibility action, a
// direct setCurrentIndex) is taken back at once and asked for through it
// from the event loop, so that such a call returns before any box appears:
//
//   CPropertySheet sheet(IDS_SHEET_CAPTION);
//   sheet.AddPage(&page);
//   sheet.Create();                      // non-modal, shown; DoModal() runs it modally
//   sheet.SetActivePage(1);              // FALSE when the current page refused
//   qobject_cast<QAbstractButton*>(sheet.GetDlgItem(IDCANCEL))->click();
#pragma once

#include <QDialog>
#include <QPointer>
#include <vector>

#include "console/windowing/WinTypes.h"

class CPropertyPage;
class QPushButton;
class QTabWidget;

class CPropertySheet : public QDialog {
public:
    // The caption is string nIDCaption; iSelectPage is the tab shown first.
    explicit CPropertySheet(UINT nIDCaption, QWidget* pParentWnd = nullptr, UINT iSelectPage = 0);
    ~CPropertySheet() override;

    // Pages are held by the caller and must outlive the sheet's use of them.
    void AddPage(CPropertyPage* pPage);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int nPage) const;

    // Runs the sheet modally; IDCANCEL or IDOK, as the sheet was closed.
    INT_PTR DoModal();
    // Builds and shows the sheet without a modal loop.
    BOOL Create();

    // Makes page nPage current, asking the current page first.
    BOOL SetActivePage(int nPage);
    int GetActiveIndex() const { return m_nCurPage; }
    CPropertyPage* GetActivePage() const { return GetPage(m_nCurPage); }
    QTabWidget* GetTabControl() const { return m_pTabs; }

    // A button of the button row by its current ID, or null.
    QWidget* GetDlgItem(int nID) const;
    void SetDlgItemText(int nID, const char* lpszGbkText);
    void SetDlgItemText(int nID, const QString& text);

protected:
    // The show-window notification: each time the sheet is shown.
    virtual void OnShowWindow(BOOL bShow, UINT nStatus);
    // A command from a button of the row (or Esc / the close box: IDCANCEL).
    virtual BOOL OnCommand(int nID);

    void showEvent(QShowEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build();
    void ShowPage(int nPage);
    void OnTabChanged(int nIndex);
    void OnCancel();
    bool FilterTabBar(QEvent* event);
    bool FilterTabKeys(QEvent* event);

    QString m_strCaption;
    int m_nStartPage;
    int m_nCurPage = -1;
    std::vector<CPropertyPage*> m_pages;
    std::vector<QWidget*> m_containers;
    std::vector<QPointer<QPushButton>> m_buttons;
    QTabWidget* m_pTabs = nullptr;
    bool m_bBuilt = false;
    bool m_bSelecting = false;  // the sheet itself is moving the tab bar
};
