// Files named in UTF-8, as the programs' arguments are, for k40ctl and k40sim
// alike. One file a platform: on Linux the names go to the system as they are;
// on Windows through their UTF-16 form to the wide calls, since the narrow ones
// read a name in the ANSI code page, where "读数.csv" is another file or none.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What a path or an open file is: nothing there, a regular file of size
// bytes, a character device (a terminal, a serial port), or something else
// (a folder, a pipe).
enum class FileKind { Missing, Regular, Device, Other };
struct FileStatus {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;
};

// fopen(path, mode).
std::FILE* OpenFile(const std::string& path, const char* mode);
// The path's status, following symbolic links.
FileStatus StatFile(const std::string& path);
// The status of an open stream: standard output may be a file, a pipe or a
// console.
FileStatus StatOpenFile(std::FILE* file);
// Whether two paths name the same file or device (the same node through
// another name or link); two names that cannot be looked up are the same only
// when they are equal.
bool SameFile(const std::string& a, const std::string& b);
// Up to most bytes from the start of the file; empty when it cannot be read.
std::string ReadFileStart(const std::string& path, std::size_t most);
// Up to size bytes of an open file from offset (beyond 2 GB too) into *out,
// fewer at its end; false when the seek or the read failed.
bool ReadFileAt(std::FILE* file, std::uint64_t offset, std::size_t size, std::string* out);
// Cuts an open file to size bytes (its buffer flushed first); false, errno
// set, when it cannot.
bool TruncateFile(std::FILE* file, std::uint64_t size);

// The program's arguments in UTF-8. On Windows taken as UTF-16 from the
// system: through argv, Chinese arguments would arrive as "????".
std::vector<std::string> ProgramArguments(int argc, char** argv);
