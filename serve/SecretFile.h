// Reading a file that holds a secret (the token of k40ctl serve): one function
// a platform, in posix/ and win32/.
#pragma once

#include <cstddef>
#include <string>

// Reads at most maxBytes of a regular file. On POSIX refuses (false, *why) a
// file that its group or others may read or write ("FILE is readable by
// others: chmod 600 FILE") or that belongs to a user other than the one
// running or root, checked on the file opened, not the name. Windows:
// no such check (its ACLs are not mode bits).
bool ReadSecretFile(const std::string& path, std::size_t maxBytes, std::string* text,
                    std::string* why);
