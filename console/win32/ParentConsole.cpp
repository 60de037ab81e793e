#include "console/ParentConsole.h"

#include <windows.h>

#include <cstdio>

namespace {

bool Leads(DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void UseParentConsole() {
    const bool out = Leads(STD_OUTPUT_HANDLE);
    const bool err = Leads(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (!out) {
        (void)std::freopen("CONOUT$", "w", stdout);
    }
    if (!err) {
        (void)std::freopen("CONOUT$", "w", stderr);
    }
}
