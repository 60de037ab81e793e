// Windows: access to the file is its ACL's business (a file in the user's own
// folders is private to the user); there are no mode bits to check.
#include <windows.h>

#include "base/win32/Wide.h"
#include "link/OpenError.h"
#include "serve/SecretFile.h"

bool ReadSecretFile(const std::string& path, std::size_t maxBytes, std::string* text,
                    std::string* why) {
    HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = path + ": " + OpenErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    text->clear();
    char buffer[512];
    DWORD n = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &n, nullptr) != 0) && n > 0 &&
           text->size() + n <= maxBytes) {
        text->append(buffer, n);
    }
    CloseHandle(file);
    if (!ok || n > 0) {
        text->clear();
        *why = path + (ok ? ": too long for a token" : ": cannot be read");
        return false;
    }
    return true;
}
