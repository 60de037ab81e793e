#include "cli/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Owns a file descriptor; close(2) is not retried on EINTR (Linux has closed
// the descriptor already).
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the result: a delayed write error (NFS, a full
    // disk) may show up only here.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool Fail(std::string* error, const std::string& what, int err) {
    if (error) {
        *error = what + ": " + std::strerror(err);
    }
    return false;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool SyncFd(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            if (error) {
                *error = path + ": not a regular file; not replaced";
            }
            return false;
        }
    } else if (errno != ENOENT) {
        return Fail(error, path, errno);
    }

    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // A hidden name that does not end like the target, so that a collector
    // reading "*.prom" never picks up the file while it is being written.
    std::string temp =
        (slash == std::string::npos ? std::string() : folder) + "." + base + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    Fd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return Fail(error, path + ": cannot create a temporary file in " + folder, errno);
    }
    temp = name.data();

    int err = 0;
    std::string what;
    if (::fchmod(fd.get(), 0644) != 0) {
        err = errno, what = "cannot set its mode";
    } else if (!WriteAll(fd.get(), text)) {
        err = errno, what = "cannot write";
    } else if (!SyncFd(fd.get())) {
        err = errno, what = "cannot sync";
    } else if (!fd.Close()) {
        err = errno, what = "cannot close";
    } else if (::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno, what = "cannot rename the temporary file over it";
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return Fail(error, path + ": " + what, err);
    }

    // Make the rename itself durable; the file is in place either way.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        SyncFd(dir.get());
    }
    return true;
}
