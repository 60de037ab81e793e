// What the Win32 backend's files share, and what Windows-only tests may use:
// the HWND behind a CWnd, the texts' conversions at the edge of Win32, and
// the dialog procedures the property sheet and its pages run on.
#pragma once

#include <windows.h>
// clang-format off
#include <commctrl.h>
// clang-format on
// The layer's members keep their own names: SetWindowText is not
// SetWindowTextA here.
#undef GetWindowText
#undef SetWindowText
#undef SetDlgItemText

#include <cstdint>
#include <string>
#include <vector>

#include "console/windowing/PropertyPage.h"
#include "console/windowing/PropertySheet.h"
#include "console/windowing/Wnd.h"

struct PageRecord;

// The native window of a CWnd: its handle and, once it has a tooltip, the
// tooltip control that shows it; for a page while its dialog exists, the
// sheet's record of it.
struct CWndNative {
    HWND hwnd = nullptr;
    HWND tooltip = nullptr;
    PageRecord* record = nullptr;
};

// One page of a built sheet: its template bytes and tab text live as long as
// the sheet, the PROPSHEETPAGEW's lParam points here.
struct PageRecord {
    CPropertySheet* sheet;
    CPropertyPage* page;
    int index;
    std::vector<std::uint8_t> dialogTemplate;
    std::wstring title;
};

struct CSheetNative {
    std::vector<PageRecord> pages;
    std::wstring caption;
    CWnd buttons[4];  // the row, found by ID when the sheet starts
    bool modeless = false;
    int pressing = 0;    // the button the sheet presses itself: comctl32's turn
    bool busy = false;   // a page's command handler runs (see BusySheet)
    INT_PTR result = 0;  // IDOK once the pages applied, else IDCANCEL
};

// Texts at the edge: GBK bytes (the program's) to UTF-16 and back; UTF-8 is
// base/win32/Wide.h's.
std::wstring WideFromGbk(const char* gbk);
std::string GbkFromWide(const std::wstring& wide);
// The text of a window as UTF-16.
std::wstring WindowTextW(HWND hwnd);

// Keyboard handling (Tab, arrows, Enter, Esc) for a modeless sheet: the
// message loop's PropSheet_IsDialogMessage for every one that is open.
BOOL IsSheetDialogMessage(MSG* pMsg);

// While a page's command handler runs, the sheet takes no other command (its
// window answers messages while an exchange waits) and carries kBusyProperty.
class BusySheet {
public:
    BusySheet(CSheetNative& native, HWND sheet);
    ~BusySheet();
    BusySheet(const BusySheet&) = delete;
    BusySheet& operator=(const BusySheet&) = delete;

private:
    CSheetNative& native_;
    HWND sheet_;
};

struct WindowingBackend {
    // Binds a CWnd to an existing window (null unbinds it).
    static void Bind(CWnd& wnd, HWND hwnd) { wnd.m_pNative->hwnd = hwnd; }
    // A page and its dialog find each other; null record parts them.
    static void BindPage(CWnd& page, PageRecord* record) { page.m_pNative->record = record; }
    static HWND Handle(const CWnd& wnd) { return wnd.GetSafeHwnd(); }

    // The dialog procedure of every page (PageWindow.cpp).
    static INT_PTR CALLBACK PageProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
    // The sheet's window, subclassed once it exists (PropertySheet.cpp).
    static LRESULT CALLBACK SheetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR data);
    static void OnSheetCreated(CPropertySheet& sheet, HWND hwnd);
    static BOOL OnSheetCommand(CPropertySheet& sheet, HWND hwnd, WPARAM wParam, LPARAM lParam);
    // Presses a button of comctl32's own (PSBTN_OK, PSBTN_CANCEL) of command id.
    static void Press(CPropertySheet& sheet, int button, int id);
    static void OnPageActive(CPropertySheet& sheet, int index) { sheet.m_nCurPage = index; }
    static void SetResult(CPropertySheet& sheet, INT_PTR result) {
        sheet.m_pSheet->result = result;
    }

    static void BindControls(CPropertyPage& page, HWND hDlg);
    static INT_PTR OnPageNotify(PageRecord& rec, HWND hDlg, const NMHDR& hdr);
    static BOOL OnInitDialog(CPropertyPage& page) { return page.OnInitDialog(); }
    static BOOL OnCommand(CPropertyPage& page, int nID) { return page.OnCommand(nID); }
};
