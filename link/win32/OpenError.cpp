#include "link/OpenError.h"

#include <windows.h>

#include <string>

#include "base/win32/Wide.h"

const int kNoSuchDeviceError = ERROR_FILE_NOT_FOUND;

// The system's own text, in UTF-8 (the program's output encoding), without
// the line break FormatMessage ends it with.
std::string SystemErrorText(int code) {
    const auto error = static_cast<DWORD>(code);
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n > 0 && text != nullptr ? Utf8(text) : std::string();
    LocalFree(text);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.')) {
        out.pop_back();
    }
    return out.empty() ? "system error " + std::to_string(error) : out;
}

std::string OpenErrorText(int error) {
    switch (error) {
        case 0:
            return "unknown reason";
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such device";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // What Windows says of a COM port another program has open.
            return "busy: another program holds it";
        default:
            return SystemErrorText(error);
    }
}
