// The mode is read from the descriptor that is then read, so the file cannot
// be swapped between the check and the read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "serve/SecretFile.h"

namespace {

bool Fail(std::string* why, std::string text) {
    *why = std::move(text);
    return false;
}

}  // namespace

bool ReadSecretFile(const std::string& path, std::size_t maxBytes, std::string* text,
                    std::string* why) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return Fail(why, path + ": " + std::strerror(errno));
    }
    struct stat st {};
    std::string message;
    if (fstat(fd, &st) != 0) {
        message = path + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        message = path + ": not a regular file";
    } else if (st.st_uid != geteuid() && st.st_uid != 0) {
        // Another user could change the secret (or read it, with an ACL).
        // root's own is fine: systemd's LoadCredential= hands it over so.
        message = path + " belongs to user " + std::to_string(st.st_uid) +
                  ", not to the user serve runs as (" + std::to_string(geteuid()) + ") or root";
    } else if ((st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        message = path + " is readable by others: chmod 600 " + path;
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        message = path + " is writable by others: chmod 600 " + path;
    } else if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        message = path + ": too long for a token";
    }
    text->clear();
    char buffer[512];
    while (message.empty()) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            message = path + ": " + std::strerror(errno);
        } else if (n == 0) {
            break;
        } else if (text->size() + static_cast<std::size_t>(n) > maxBytes) {
            message = path + ": too long for a token";
        } else {
            text->append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    if (!message.empty()) {
        text->clear();
        return Fail(why, message);
    }
    return true;
}
