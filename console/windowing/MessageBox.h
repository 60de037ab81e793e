// Modal message boxes with one OK button and the application title as
// caption. The box itself is a replaceable service, so that tests can record
// what would be shown instead of waiting for a click.
#pragma once

#include <string>

#include "console/windowing/WinTypes.h"

// The box types (windows.h has them as macros of the same values).
#ifndef MB_OK
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_ICONMASK = 0xF0;
#endif

class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    // Shows one box and returns the button pressed (IDOK). Caption and text
    // are UTF-8.
    virtual int Show(const std::string& captionUtf8, const std::string& textUtf8, UINT nType) = 0;
};

// The backend's own box (QMessageBox, MessageBoxW), owned by the active
// modal window; defined by each backend.
IMessageBoxService& BackendMessageBoxService();

// Installs the service every later box goes through and returns the previous
// one; null brings back the backend's box.
IMessageBoxService* SetMessageBoxService(IMessageBoxService* pService);

// A box without an icon of its own gets the exclamation icon, as the
// framework's validation messages do.
// The program's GBK messages: AfxMessageBox("串口初始化成功!", MB_ICONINFORMATION).
int AfxMessageBox(const char* lpszGbkText, UINT nType = MB_OK);
// A string from the string table.
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK);
// A UTF-8 text, such as the data exchange's range messages built from the
// string table.
int AfxMessageBoxUtf8(const std::string& textUtf8, UINT nType = MB_OK);
