#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/TokenCommand.h"

bool SystemRandom(unsigned char* bytes, std::size_t count, std::string* why) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = getrandom(bytes + got, count - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *why = std::string("the system's random source: ") + std::strerror(errno);
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool WritePrivateFile(const std::string& path, const std::string& text, std::string* why) {
    // O_EXCL: never another file's contents replaced, nor a link followed.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *why = path + ": " + std::strerror(errno) +
               (errno == EEXIST ? " (a new token goes to a new file)" : "");
        return false;
    }
    // The mode given to open(2) passes through the umask, which can only take
    // bits away; fchmod says it once more, whatever the umask.
    bool ok = fchmod(fd, 0600) == 0;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && fsync(fd) == 0;
    const int error = errno;
    ok = close(fd) == 0 && ok;
    if (!ok) {
        *why = path + ": " + std::strerror(error != 0 ? error : errno);
        unlink(path.c_str());
    }
    return ok;
}
