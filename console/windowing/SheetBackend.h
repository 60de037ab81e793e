// What the shared half of the sheet and each backend (qt/, win32/) agree on:
// the standard button row, how a sheet changes pages and how it closes. The
// backend defines the functions: OK once the current page agrees
// (OnKillActive), Cancel once it allows (OnQueryCancel); the sheet's shared
// OnCommand calls them for IDOK and IDCANCEL, its SetActivePage the others.
#pragma once

#include "console/windowing/WinTypes.h"
#include "resources/resource.h"

class CPropertySheet;

struct StandardButton {
    int id;
    const char16_t* text;
};
// The row, left to right: OK, Cancel, Apply, Help.
inline constexpr StandardButton kStandardButtons[] = {
    {IDOK, u"确定"}, {IDCANCEL, u"取消"}, {ID_APPLY_NOW, u"应用(&A)"}, {IDHELP, u"帮助"}};

void CloseSheetOk(CPropertySheet& sheet);
void CloseSheetCancel(CPropertySheet& sheet);

// Whether the sheet's window and tabs exist; before, SetActivePage only
// chooses the page shown first.
bool SheetHasTabs(const CPropertySheet& sheet);
// Makes page nPage current, asking the current page first; FALSE when it
// refused. SetActivePage has checked nPage and that it is another page.
BOOL ChangeSheetPage(CPropertySheet& sheet, int nPage);
