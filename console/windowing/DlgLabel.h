// The label of an edit box in a layout: the text a reader takes for its name.
// Both backends name their boxes by it (Qt: the label's buddy; Win32: the
// label just before the box in the dialog's order, where screen readers look).
#pragma once

#include <cstddef>

#include "resources/DialogTemplate.h"

// The index of the label of control nEdit: the nearest non-empty static text
// ending left of it on the same line, else above it and overlapping it
// across. -1 when there is none.
int FindEditLabel(const DlgTemplate& tpl, std::size_t nEdit);
