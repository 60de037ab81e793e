// One page of a property sheet, built from a dialog layout whose caption is
// the tab text. The page object exists as long as its sheet; its window is
// built the first time its tab is selected, which runs OnInitDialog.
//
// A page class derives from CPropertyPage, passes its layout ID, lists its
// exchange in DoDataExchange and answers its buttons in OnCommand:
//
//   class CMyPage : public CPropertyPage {
//   public:
//       CMyPage() : CPropertyPage(IDD_MY) {}
//   protected:
//       void DoDataExchange(CDataExchange* pDX) override {
//           DDX_Text(pDX, IDC_VALUE, m_nValue);
//           DDV_MinMaxInt(pDX, m_nValue, 0, 20);
//       }
//       BOOL OnCommand(int nID) override {
//           if (nID == IDC_GO) { OnGo(); return TRUE; }
//           return CPropertyPage::OnCommand(nID);
//       }
//   };
#pragma once

#include <string>
#include <vector>

#include "console/windowing/DataExchange.h"
#include "console/windowing/DlgItem.h"
#include "console/windowing/WinTypes.h"
#include "console/windowing/Wnd.h"

class CPropertyPage : public CWnd {
public:
    // A page whose ID names no dialog layout is refused by CPropertySheet::AddPage.
    explicit CPropertyPage(UINT nIDTemplate);
    ~CPropertyPage() override;

    // Runs DoDataExchange: TRUE saves the controls into the fields with the
    // checks, FALSE loads the fields into the controls. FALSE when a check
    // failed (its message has been shown) or the window does not exist yet.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // The page's own window (GetSafeHwnd) is null before the first selection
    // of its tab. The control with that ID (the first in dialog order), or null.
    CWnd* GetDlgItem(int nID) const;
    // The radio buttons of the group that starts with control nIDFirst, in
    // dialog order: up to the next control that starts a group.
    std::vector<CWnd*> GetRadioGroup(int nIDFirst) const;

    UINT GetTemplateID() const { return m_nIDTemplate; }
    // The layout's caption, UTF-8: the text of the page's tab.
    std::string GetCaption() const;

    // Default: loads the controls from the fields.
    virtual BOOL OnInitDialog();
    // Runs each time the page becomes current. Default: loads the controls
    // from the fields, except at the first activation (OnInitDialog just did).
    virtual BOOL OnSetActive();
    // Runs when another tab is chosen. Default: saves with the checks; FALSE
    // keeps this page current.
    virtual BOOL OnKillActive();
    // Runs when the sheet is cancelled or closed. Default: allows it, with no
    // check of the fields.
    virtual BOOL OnQueryCancel();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    // A button of the page was clicked (its current ID). TRUE when handled.
    virtual BOOL OnCommand(int nID);

private:
    friend class CPropertySheet;
    // The backend builds the page's window and its controls (m_items, in
    // layout order), then runs OnInitDialog.
    friend struct WindowingBackend;

    UINT m_nIDTemplate;
    const DlgTemplate* m_pTemplate;
    std::vector<DlgItem> m_items;
    bool m_bFirstSetActive = true;
};
