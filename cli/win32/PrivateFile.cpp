// Windows: the file's ACL names the user alone (no inherited entries), so
// that neither other users nor the folder's ACL open it to anyone else.
#include <windows.h>

#include <ntsecapi.h>
#include <sddl.h>

#include <vector>

#include "base/win32/Wide.h"
#include "cli/TokenCommand.h"
#include "link/OpenError.h"

namespace {

// "D:P(A;;FA;;;S-1-5-21-...)": full access for the user, nothing inherited.
std::wstring UserOnlyAcl(std::string* why) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        *why = "cannot read who runs k40ctl: " + OpenErrorText(static_cast<int>(GetLastError()));
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    const bool read = size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    LPWSTR sid = nullptr;
    if (!read || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid,
                                         &sid)) {
        *why = "cannot read who runs k40ctl";
        return {};
    }
    std::wstring acl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    return acl;
}

}  // namespace

bool SystemRandom(unsigned char* bytes, std::size_t count, std::string* why) {
    if (!RtlGenRandom(bytes, static_cast<ULONG>(count))) {
        *why = "the system's random source failed";
        return false;
    }
    return true;
}

bool WritePrivateFile(const std::string& path, const std::string& text, std::string* why) {
    const std::wstring acl = UserOnlyAcl(why);
    if (acl.empty()) {
        return false;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(acl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        *why = path + ": " + OpenErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const std::wstring wide = Utf16(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    if (file == INVALID_HANDLE_VALUE) {
        *why = path + ": " + OpenErrorText(static_cast<int>(error));
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    if (!ok) {
        *why = path + ": cannot be written";
        DeleteFileW(wide.c_str());
    }
    return ok;
}
