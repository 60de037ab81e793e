// A tabbed sheet of property pages: one tab per page in the order of AddPage,
// sized to its largest page, with the standard button row OK, Cancel, Apply
// and Help (IDOK, IDCANCEL, ID_APPLY_NOW, IDHELP). Buttons are found by ID and
// may be destroyed, renumbered and relabelled; a click sends the button's
// current ID as a command. Cancel, Esc and the close box close the sheet
// without checking any page.
//
// A tab change asks the current page first (OnKillActive); when it refuses,
// the tab does not change at all. Every way of changing tabs (clicks, keys,
// SetActivePage, which is also how tests select a page) goes through the pages:
//
//   CPropertySheet sheet(IDS_SHEET_CAPTION);
//   sheet.AddPage(&page);
//   sheet.Create();                      // non-modal, shown; DoModal() runs it modally
//   sheet.SetActivePage(1);              // FALSE when the current page refused
//   sheet.GetDlgItem(IDCANCEL);          // the cancel button's CWnd
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console/windowing/WinTypes.h"
#include "console/windowing/Wnd.h"

class CPropertyPage;
// The backend's state of a built sheet (defined by each backend).
struct CSheetNative;

class CPropertySheet : public CWnd {
public:
    // The caption is string nIDCaption; iSelectPage is the tab shown first.
    explicit CPropertySheet(UINT nIDCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
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

    // A button of the button row by its current ID, or null.
    CWnd* GetDlgItem(int nID) const;
    void SetDlgItemText(int nID, const char* lpszGbkText);

protected:
    // The show-window notification: each time the sheet is shown.
    virtual void OnShowWindow(BOOL bShow, UINT nStatus);
    // A command from a button of the row (or Esc / the close box: IDCANCEL).
    virtual BOOL OnCommand(int nID);

private:
    friend struct WindowingBackend;

    std::string m_strCaption;  // UTF-8
    CWnd* m_pParentWnd;
    int m_nStartPage;
    int m_nCurPage = -1;
    std::vector<CPropertyPage*> m_pages;
    std::unique_ptr<CSheetNative> m_pSheet;
};
