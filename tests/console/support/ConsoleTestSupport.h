// Small helpers for driving pages and sheets by control ID.
#pragma once

#include <QString>

class QWidget;

// Clicks the button (push or radio) as the user would.
void ClickButton(QWidget* pButton);
// Replaces what a box holds, as typing would.
void TypeInto(QWidget* pEdit, const QString& text);
// The text of a box (one-line or multi-line), a button or a label.
QString TextOf(QWidget* pWnd);
bool IsChecked(QWidget* pButton);
// Puts theComm back to its start state: port closed, COM1, 9600, address 1,
// 1500 ms, as a fresh program has it.
void ResetTheComm();
