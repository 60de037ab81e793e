// What the shared half of the sheet and each backend (qt/, win32/) agree on:
// the standard button row, and how a sheet closes. The backend defines the
// two closing commands: OK once the current page agrees (OnKillActive),
// Cancel once it allows (OnQueryCancel); the sheet's shared OnCommand calls
// them for IDOK and IDCANCEL.
#pragma once

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
