// CPropertySheet on the system's property sheet (comctl32): PropertySheetW
// with pages from in-memory templates. comctl32 draws the tabs and the
// button row and asks the pages at every change of tab (PSN_KILLACTIVE,
// PSN_SETACTIVE); the sheet's window is subclassed so that the row's clicks,
// Esc and the close box come to OnCommand with the button's current ID.
#include "console/windowing/PropertySheet.h"

#include <algorithm>
#include <cstdio>

#include "console/windowing/PropertyPage.h"
#include "console/windowing/SheetBackend.h"
#include "console/windowing/WinApp.h"
#include "console/windowing/win32/BusyProperty.h"
#include "console/windowing/win32/DialogTemplateEx.h"
#include "console/windowing/win32/Win32Windows.h"
#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {

// Posted after a command of a modeless sheet: comctl32 leaves a closed
// modeless sheet to its owner, which destroys it.
constexpr UINT kCheckClosed = WM_APP + 40;
constexpr UINT_PTR kSubclassId = 1;

// The sheet PropertySheetW is building: its callback has no pointer of its own.
thread_local CPropertySheet* t_pCreating = nullptr;
std::vector<HWND> g_modeless;

const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

int CALLBACK SheetCallback(HWND hwnd, UINT msg, LPARAM lParam) {
    CPropertySheet* sheet = t_pCreating;
    if (sheet == nullptr) {
        return 0;
    }
    if (msg == PSCB_PRECREATE && sheet->GetPageCount() > 0) {
        const DlgTemplate* tpl =
            FindDialogTemplate(static_cast<int>(sheet->GetPage(0)->GetTemplateID()));
        dlgtemplate::SetTemplateFont(reinterpret_cast<std::uint8_t*>(lParam),
                                     dlgtemplate::DialogFontFor(*tpl));
    } else if (msg == PSCB_INITIALIZED) {
        WindowingBackend::OnSheetCreated(*sheet, hwnd);
    }
    return 0;
}

void SetIcon(HWND hwnd) {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    for (const auto& [which, size] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
        const int px = GetSystemMetrics(size);
        auto* icon = static_cast<HICON>(
            LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, px, px, LR_SHARED));
        if (icon != nullptr) {
            SendMessageW(hwnd, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
        }
    }
}

}  // namespace

BusySheet::BusySheet(CSheetNative& native, HWND sheet) : native_(native), sheet_(sheet) {
    native_.busy = true;
    SetPropW(sheet_, kBusyProperty, reinterpret_cast<HANDLE>(1));
}

BusySheet::~BusySheet() {
    native_.busy = false;
    if (IsWindow(sheet_)) {
        RemovePropW(sheet_, kBusyProperty);
    }
}

BOOL IsSheetDialogMessage(MSG* pMsg) {
    for (HWND sheet : g_modeless) {
        if (IsWindow(sheet) && PropSheet_IsDialogMessage(sheet, pMsg)) {
            return TRUE;
        }
    }
    return FALSE;
}

void WindowingBackend::OnSheetCreated(CPropertySheet& sheet, HWND hwnd) {
    Bind(sheet, hwnd);
    CSheetNative& native = *sheet.m_pSheet;
    for (std::size_t i = 0; i < std::size(kStandardButtons); ++i) {
        const HWND button = GetDlgItem(hwnd, kStandardButtons[i].id);
        Bind(native.buttons[i], button);
        if (button != nullptr) {
            SetWindowTextW(button, Wide(kStandardButtons[i].text));
        }
    }
    SetIcon(hwnd);
    SetWindowSubclass(hwnd, SheetProc, kSubclassId, reinterpret_cast<DWORD_PTR>(&sheet));
    if (native.modeless) {
        g_modeless.push_back(hwnd);
    }
}

// The row's clicks and the keyboard's commands (Esc: IDCANCEL, Enter: the
// default button's ID). A click of a page's button routed here by the
// keyboard goes on to its page. TRUE when the command was handled here.
BOOL WindowingBackend::OnSheetCommand(CPropertySheet& sheet, HWND hwnd, WPARAM wParam,
                                      LPARAM lParam) {
    const auto from = reinterpret_cast<HWND>(lParam);
    const int id = LOWORD(wParam);
    if (from != nullptr) {
        if (HIWORD(wParam) != BN_CLICKED) {
            return FALSE;
        }
        if (GetParent(from) != hwnd) {
            SendMessageW(GetParent(from), WM_COMMAND, wParam, lParam);
            return TRUE;
        }
        sheet.OnCommand(GetDlgCtrlID(from));
    } else if (id == IDCANCEL || sheet.GetDlgItem(id) != nullptr) {
        sheet.OnCommand(id);
    }
    if (sheet.m_pSheet->modeless) {
        PostMessageW(hwnd, kCheckClosed, 0, 0);
    }
    return TRUE;
}

LRESULT CALLBACK WindowingBackend::SheetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR /*id*/, DWORD_PTR data) {
    auto& sheet = *reinterpret_cast<CPropertySheet*>(data);
    CSheetNative& native = *sheet.m_pSheet;
    // While a page's handler runs, the row's buttons and closing wait for it.
    if (native.busy && (msg == WM_COMMAND || msg == WM_CLOSE ||
                        (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE))) {
        return 0;
    }
    switch (msg) {
        case WM_COMMAND:
            // The sheet's own press of a button is comctl32's to carry out.
            if (native.pressing != 0 && LOWORD(wParam) == native.pressing) {
                native.pressing = 0;
                break;
            }
            if (OnSheetCommand(sheet, hwnd, wParam, lParam)) {
                return 0;
            }
            break;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) != SC_CLOSE) {
                break;
            }
            [[fallthrough]];
        case WM_CLOSE:
            OnSheetCommand(sheet, hwnd, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return 0;
        case WM_SHOWWINDOW: {
            const LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
            if (wParam != 0) {
                sheet.OnShowWindow(TRUE, static_cast<UINT>(lParam));
            }
            return result;
        }
        case kCheckClosed:
            if (PropSheet_GetCurrentPageHwnd(hwnd) == nullptr) {
                ::DestroyWindow(hwnd);
            }
            return 0;
        case WM_NCDESTROY:
            g_modeless.erase(std::remove(g_modeless.begin(), g_modeless.end(), hwnd),
                             g_modeless.end());
            RemoveWindowSubclass(hwnd, SheetProc, kSubclassId);
            Bind(sheet, nullptr);
            // A modeless main window ends the application's message loop.
            if (native.modeless && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd == &sheet) {
                PostQuitMessage(0);
            }
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

CPropertySheet::CPropertySheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage)
    : m_pParentWnd(pParentWnd),
      m_nStartPage(static_cast<int>(iSelectPage)),
      m_pSheet(std::make_unique<CSheetNative>()) {
    const char16_t* caption = FindResourceString(static_cast<int>(nIDCaption));
    m_pSheet->caption = caption != nullptr ? Wide(caption) : L"";
    m_strCaption = Utf16ToUtf8(caption);
}

CPropertySheet::~CPropertySheet() {
    if (const HWND hwnd = GetSafeHwnd()) {
        ::DestroyWindow(hwnd);
    }
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
    // A page whose layout ID names no dialog layout has no size, caption or
    // controls: it is left out, in every build, rather than shown broken.
    if (pPage == nullptr || pPage->m_pTemplate == nullptr) {
        std::fprintf(stderr, "CPropertySheet::AddPage: page %u has no dialog layout; not added\n",
                     pPage != nullptr ? pPage->GetTemplateID() : 0U);
        return;
    }
    m_pages.push_back(pPage);
}

// The pages' templates and titles live in m_pSheet as long as the sheet.
static INT_PTR RunSheet(CPropertySheet& sheet, CSheetNative& native,
                        const std::vector<CPropertyPage*>& pages, HWND parent, int start) {
    native.pages.clear();
    native.pages.reserve(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const DlgTemplate& tpl = *FindDialogTemplate(static_cast<int>(pages[i]->GetTemplateID()));
        native.pages.push_back({&sheet, pages[i], static_cast<int>(i),
                                dlgtemplate::BuildPageTemplate(tpl), Wide(tpl.caption)});
    }
    std::vector<PROPSHEETPAGEW> psp(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        PageRecord& rec = native.pages[i];
        psp[i].dwSize = sizeof(PROPSHEETPAGEW);
        psp[i].dwFlags = PSP_DLGINDIRECT | PSP_USETITLE | PSP_HASHELP;
        psp[i].hInstance = GetModuleHandleW(nullptr);
        psp[i].pResource = reinterpret_cast<LPCDLGTEMPLATEW>(rec.dialogTemplate.data());
        psp[i].pfnDlgProc = WindowingBackend::PageProc;
        psp[i].pszTitle = rec.title.c_str();
        psp[i].lParam = reinterpret_cast<LPARAM>(&rec);
    }
    PROPSHEETHEADERW psh{};
    psh.dwSize = sizeof psh;
    psh.dwFlags = PSH_PROPSHEETPAGE | PSH_HASHELP | PSH_USECALLBACK | PSH_NOCONTEXTHELP |
                  (native.modeless ? PSH_MODELESS : 0);
    psh.hwndParent = parent;
    psh.hInstance = GetModuleHandleW(nullptr);
    psh.pszCaption = native.caption.c_str();
    psh.nPages = static_cast<UINT>(psp.size());
    psh.nStartPage =
        static_cast<UINT>(start >= 0 && start < static_cast<int>(pages.size()) ? start : 0);
    psh.ppsp = psp.data();
    psh.pfnCallback = SheetCallback;
    native.result = IDCANCEL;
    CPropertySheet* const previous = t_pCreating;
    t_pCreating = &sheet;
    const INT_PTR status = PropertySheetW(&psh);
    t_pCreating = previous;
    return status;
}

INT_PTR CPropertySheet::DoModal() {
    m_pSheet->modeless = false;
    const HWND parent = m_pParentWnd != nullptr ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (RunSheet(*this, *m_pSheet, m_pages, parent, m_nStartPage) < 0) {
        return -1;
    }
    return m_pSheet->result;
}

BOOL CPropertySheet::Create() {
    if (GetSafeHwnd() != nullptr) {
        return TRUE;
    }
    m_pSheet->modeless = true;
    const HWND parent = m_pParentWnd != nullptr ? m_pParentWnd->GetSafeHwnd() : nullptr;
    const INT_PTR hwnd = RunSheet(*this, *m_pSheet, m_pages, parent, m_nStartPage);
    return hwnd != 0 && hwnd != -1 ? TRUE : FALSE;
}

bool SheetHasTabs(const CPropertySheet& sheet) {
    return sheet.GetSafeHwnd() != nullptr;
}

// Through PSM_SETCURSEL, as a click on a tab: the current page is asked
// (PSN_KILLACTIVE), the new one told (PSN_SETACTIVE).
BOOL ChangeSheetPage(CPropertySheet& sheet, int nPage) {
    SendMessageW(sheet.GetSafeHwnd(), PSM_SETCURSEL, static_cast<WPARAM>(nPage), 0);
    return sheet.GetActiveIndex() == nPage ? TRUE : FALSE;
}

CWnd* CPropertySheet::GetDlgItem(int nID) const {
    for (CWnd& button : m_pSheet->buttons) {
        if (button.GetSafeHwnd() != nullptr && button.GetDlgCtrlID() == nID) {
            return &button;
        }
    }
    return nullptr;
}

// comctl32 carries out OK and Cancel: OK asks the current page and applies
// every page, Cancel asks the current page (PSN_QUERYCANCEL). Where comctl32
// turns the press into a command of the button (sent or posted), that
// command passes the subclass; where it acts at once, nothing is left waiting.
void WindowingBackend::Press(CPropertySheet& sheet, int button, int id) {
    const HWND hwnd = sheet.GetSafeHwnd();
    if (hwnd == nullptr) {
        return;
    }
    CSheetNative& native = *sheet.m_pSheet;
    native.pressing = id;
    SendMessageW(hwnd, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
    MSG queued;
    if (!PeekMessageW(&queued, hwnd, WM_COMMAND, WM_COMMAND, PM_NOREMOVE)) {
        native.pressing = 0;
    }
}

void CloseSheetOk(CPropertySheet& sheet) {
    WindowingBackend::Press(sheet, PSBTN_OK, IDOK);
}

void CloseSheetCancel(CPropertySheet& sheet) {
    WindowingBackend::Press(sheet, PSBTN_CANCEL, IDCANCEL);
}
