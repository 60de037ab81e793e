#include "base/Files.h"

#include <windows.h>

#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include "base/win32/Wide.h"

namespace {

FileStatus FromStat(const struct _stat64& st) {
    FileStatus s;
    const auto type = st.st_mode & _S_IFMT;
    s.kind = type == _S_IFREG   ? FileKind::Regular
             : type == _S_IFCHR ? FileKind::Device
                                : FileKind::Other;
    s.size = static_cast<std::uint64_t>(st.st_size);
    return s;
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return _wfopen(Utf16(path).c_str(), Utf16(mode).c_str());
}

FileStatus StatFile(const std::string& path) {
    struct _stat64 st {};
    return _wstat64(Utf16(path).c_str(), &st) == 0 ? FromStat(st) : FileStatus{};
}

FileStatus StatOpenFile(std::FILE* file) {
    struct _stat64 st {};
    return _fstat64(_fileno(file), &st) == 0 ? FromStat(st) : FileStatus{};
}

bool SameFile(const std::string& a, const std::string& b) {
    // Ports are names there (COM5), not nodes of the file system.
    return CompareStringOrdinal(Utf16(a).c_str(), -1, Utf16(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool ReadFileAt(std::FILE* file, std::uint64_t offset, std::size_t size, std::string* out) {
    out->resize(size);
    if (_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) != 0) {
        return false;
    }
    out->resize(std::fread(out->data(), 1, size, file));
    return !std::ferror(file);
}

bool TruncateFile(std::FILE* file, std::uint64_t size) {
    return std::fflush(file) == 0 && _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        args.push_back(Utf8(wide[i]));
    }
    LocalFree(wide);
    return args;
}
