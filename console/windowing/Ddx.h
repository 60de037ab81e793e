// The data-exchange entries a page's DoDataExchange lists, in the order they
// are to run. Loading (m_bSaveAndValidate FALSE) writes the fields into the
// controls without checks; saving reads the controls into the fields and
// checks them. Each DDV_ check refers to the control of the DDX_ entry just
// before it; a field is stored before its check runs, so a value that fails
// its range stays in the field. The first failure shows its message with the
// exclamation icon, gives the failing box the focus with all its text
// selected, and ends the exchange (UpdateData then returns FALSE).
#pragma once

#include "console/windowing/DataExchange.h"
#include "console/windowing/WinTypes.h"

class CEdit;
class CListCtrl;

// Binds a wrapper to its control, at the first exchange only.
void DDX_Control(CDataExchange* pDX, int nIDC, CEdit& rControl);
void DDX_Control(CDataExchange* pDX, int nIDC, CListCtrl& rControl);

// The radio group that starts with control nIDC: the position of the checked
// button among the group's radio buttons, -1 when none is checked.
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);

// Edit box and number: "%d" / "请键入一个整数。".
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
// "%u" / "“请填入一个正整数。”".
void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value);
// "%.*g" with 6 digits / "请键入一个数。".
void DDX_Text(CDataExchange* pDX, int nIDC, float& value);

// Inclusive bounds; the range messages write them as "%ld", "%lu" and "%.*g".
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
void DDV_MinMaxDWord(CDataExchange* pDX, DWORD value, DWORD minVal, DWORD maxVal);
void DDV_MinMaxFloat(CDataExchange* pDX, float const& value, float minVal, float maxVal);
