#include "base/Files.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

FileStatus FromStat(const struct stat& st) {
    FileStatus s;
    s.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
             : S_ISCHR(st.st_mode) ? FileKind::Device
                                   : FileKind::Other;
    s.size = static_cast<std::uint64_t>(st.st_size);
    return s;
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

FileStatus StatFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? FromStat(st) : FileStatus{};
}

FileStatus StatOpenFile(std::FILE* file) {
    struct stat st {};
    return ::fstat(fileno(file), &st) == 0 ? FromStat(st) : FileStatus{};
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return a == b;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ReadFileAt(std::FILE* file, std::uint64_t offset, std::size_t size, std::string* out) {
    out->resize(size);
    if (::fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        return false;
    }
    out->resize(std::fread(out->data(), 1, size, file));
    return !std::ferror(file);
}

bool TruncateFile(std::FILE* file, std::uint64_t size) {
    return std::fflush(file) == 0 && ::ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}
