// The dialog procedure of every page of a Win32 sheet: the dialog manager
// builds the page from its in-memory template, this binds the page's
// controls and hands the sheet's notifications to the page's handlers.
#include "console/windowing/PropertyPage.h"
#include "console/windowing/PropertySheet.h"
#include "console/windowing/win32/DialogTemplateEx.h"
#include "console/windowing/win32/Win32Windows.h"

// The children are in the template's order (DialogOrder); the page keeps
// them in the layout's, one CWnd per entry, so that a control without an ID
// of its own (IDC_STATIC) still has its place.
void WindowingBackend::BindControls(CPropertyPage& page, HWND hDlg) {
    const DlgTemplate& tpl = *page.m_pTemplate;
    std::vector<HWND> windows(tpl.count, nullptr);
    HWND child = GetWindow(hDlg, GW_CHILD);
    for (std::size_t index : dlgtemplate::DialogOrder(tpl)) {
        windows[index] = child;
        child = child != nullptr ? GetWindow(child, GW_HWNDNEXT) : nullptr;
    }
    page.m_items.clear();
    for (std::size_t i = 0; i < tpl.count; ++i) {
        auto wnd = std::make_unique<CWnd>();
        Bind(*wnd, windows[i]);
        page.m_items.push_back({std::move(wnd), &tpl.controls[i]});
    }
}

namespace {

// The answer of a notification goes into DWLP_MSGRESULT; the procedure
// returns TRUE to say it answered.
INT_PTR Answer(HWND hDlg, LONG_PTR result) {
    SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, result);
    return TRUE;
}

PageRecord* RecordOf(HWND hDlg) {
    return reinterpret_cast<PageRecord*>(GetWindowLongPtrW(hDlg, DWLP_USER));
}

}  // namespace

INT_PTR WindowingBackend::OnPageNotify(PageRecord& rec, HWND hDlg, const NMHDR& hdr) {
    // While a handler runs, the page stays and the sheet stays open.
    const bool busy = rec.sheet->m_pSheet->busy;
    switch (hdr.code) {
        case PSN_SETACTIVE:
            OnPageActive(*rec.sheet, rec.index);
            rec.page->OnSetActive();
            return Answer(hDlg, 0);
        case PSN_KILLACTIVE:
            // TRUE keeps the page current.
            return Answer(hDlg, !busy && rec.page->OnKillActive() ? FALSE : TRUE);
        case PSN_QUERYCANCEL:
            return Answer(hDlg, !busy && rec.page->OnQueryCancel() ? FALSE : TRUE);
        case PSN_APPLY:
            SetResult(*rec.sheet, IDOK);
            return Answer(hDlg, PSNRET_NOERROR);
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK WindowingBackend::PageProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* rec =
            reinterpret_cast<PageRecord*>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        SetWindowLongPtrW(hDlg, DWLP_USER, reinterpret_cast<LONG_PTR>(rec));
        Bind(*rec->page, hDlg);
        BindPage(*rec->page, rec);
        BindControls(*rec->page, hDlg);
        return OnInitDialog(*rec->page);
    }
    PageRecord* rec = RecordOf(hDlg);
    if (rec == nullptr || rec->page == nullptr) {
        return FALSE;  // the page object is gone; its dialog waits for the sheet's end
    }
    switch (msg) {
        case WM_COMMAND:
            // A click reports the control's current ID, as the control has it now.
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
                CSheetNative& native = *rec->sheet->m_pSheet;
                if (!native.busy) {  // one command at a time
                    const BusySheet busy(native, GetParent(hDlg));
                    OnCommand(*rec->page, GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
                }
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY:
            return OnPageNotify(*rec, hDlg, *reinterpret_cast<const NMHDR*>(lParam));
        case WM_NCDESTROY:
            Bind(*rec->page, nullptr);
            BindPage(*rec->page, nullptr);
            return FALSE;
        default:
            return FALSE;
    }
}
