// Control IDs on Qt widgets: every control of a page and every button of the
// sheet carries the ID it is looked up and reported by. A control's ID may be
// changed, and a control may be destroyed while its window is running.
#pragma once

class QWidget;

// The control's ID, or 0 when it has none.
int GetDlgCtrlID(const QWidget* pWnd);
void SetDlgCtrlID(QWidget* pWnd, int nID);
// Removes the control at once from sight, from layouts and from ID lookups;
// the widget itself is deleted when control returns to the event loop, so a
// control may destroy itself from its own click handler.
void DestroyWindow(QWidget* pWnd);
