// Windows: the text goes to a temporary file in the same folder, is flushed to
// disk and moved over the path with MoveFileExW(MOVEFILE_REPLACE_EXISTING),
// which replaces the file in one step, as rename(2) does, and again for a
// moment while another program holds the file. The Prometheus
// exporter for Windows reads "*.prom" files the same way as node_exporter.
#include <windows.h>

#include <algorithm>

#include "base/win32/Wide.h"
#include "cli/AtomicFile.h"
#include "link/OpenError.h"

namespace {

// A virus scanner, an indexer or the collector itself may hold the file for
// a moment: the replace is tried again for about 200 ms before it fails.
constexpr int kMoveTries = 10;
constexpr DWORD kMoveRetryMs = 20;

// File errors in the system's words ("Access is denied", "The system cannot
// find the path specified"), not a port's.
bool Fail(std::string* error, const std::string& what, DWORD code) {
    if (error) {
        *error = what + ": " + SystemErrorText(static_cast<int>(code));
    }
    return false;
}

// MoveFileExW over the target, again while another program holds it.
bool MoveOver(const std::wstring& from, const std::wstring& to, DWORD& code) {
    for (int tries = 1;; ++tries) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        code = GetLastError();
        if (tries == kMoveTries ||
            (code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED)) {
            return false;
        }
        Sleep(kMoveRetryMs);
    }
}

bool WriteAndFlush(HANDLE file, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1 << 20));
        if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return FlushFileBuffers(file) != 0;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    const std::wstring target = Utf16(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        if (error) {
            *error = path + ": not a regular file; not replaced";
        }
        return false;
    }
    const std::size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    // A hidden name that does not end like the target, so that a collector
    // reading "*.prom" never picks up the file while it is being written.
    const std::string temp = (slash == std::string::npos ? std::string() : folder) + "." +
                             path.substr(slash + 1) + "." + std::to_string(GetCurrentProcessId()) +
                             ".tmp";
    const std::wstring wideTemp = Utf16(temp);
    HANDLE file = CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Fail(error, path + ": cannot create a temporary file in " + folder, GetLastError());
    }
    const bool written = WriteAndFlush(file, text);
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (!written) {
        DeleteFileW(wideTemp.c_str());
        return Fail(error, path + ": cannot write", writeError);
    }
    SetFileAttributesW(wideTemp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DWORD code = 0;
    if (!MoveOver(wideTemp, target, code)) {
        DeleteFileW(wideTemp.c_str());
        return Fail(error, path + ": cannot move the temporary file over it", code);
    }
    return true;
}
