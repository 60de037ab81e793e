#include "link/posix/PortChecks.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <fstream>

#include "link/posix/Eintr.h"
#include "link/posix/TermiosDevice.h"

namespace {

// Unix 98 pseudo-terminal slaves: majors 136..143.
constexpr unsigned kPtyFirstMajor = 136;
constexpr unsigned kPtyLastMajor = 143;

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The numeric entries of /proc, this process left out.
std::vector<int> OtherPids(const std::string& procDir) {
    std::vector<int> pids;
    DIR* dir = opendir(procDir.c_str());
    if (dir == nullptr) {
        return pids;
    }
    const int self = static_cast<int>(getpid());
    while (const dirent* e = readdir(dir)) {
        if (std::isdigit(static_cast<unsigned char>(e->d_name[0])) != 0) {
            const int pid = std::atoi(e->d_name);
            if (pid != self) {
                pids.push_back(pid);
            }
        }
    }
    closedir(dir);
    return pids;
}

bool HoldsDevice(const std::string& fdDir, dev_t rdev) {
    DIR* dir = opendir(fdDir.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool holds = false;
    while (const dirent* e = readdir(dir)) {
        struct stat st {};
        if (e->d_name[0] != '.' && stat((fdDir + "/" + e->d_name).c_str(), &st) == 0 &&
            S_ISCHR(st.st_mode) && st.st_rdev == rdev) {
            holds = true;
            break;
        }
    }
    closedir(dir);
    return holds;
}

}  // namespace

std::vector<PortHolder> FindPortHolders(const std::string& device, const std::string& procDir) {
    std::vector<PortHolder> holders;
    struct stat dev {};
    if (stat(device.c_str(), &dev) != 0 || !S_ISCHR(dev.st_mode)) {
        return holders;
    }
    for (int pid : OtherPids(procDir)) {
        const std::string base = procDir + "/" + std::to_string(pid);
        if (HoldsDevice(base + "/fd", dev.st_rdev)) {
            holders.push_back({pid, FirstLine(base + "/comm")});
        }
    }
    return holders;
}

bool IsPseudoTerminal(const std::string& device) {
    struct stat st {};
    return stat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
           major(st.st_rdev) >= kPtyFirstMajor && major(st.st_rdev) <= kPtyLastMajor;
}

bool ProgramInstalled(const std::string& name) {
    for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
        if (access((dir + name).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

bool ProgramRunning(const std::string& name, const std::string& procDir) {
    for (int pid : OtherPids(procDir)) {
        if (FirstLine(procDir + "/" + std::to_string(pid) + "/comm") == name) {
            return true;
        }
    }
    return false;
}

PortProbe ProbePort(const std::string& device) {
    PortProbe probe;
    const CFileDescriptor file(RetryOnEintr(
        [&] { return ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    const int fd = file.Get();
    if (fd < 0) {
        probe.openError = errno;
        return probe;
    }
    const int rc = RetryOnEintr([&] { return ::flock(fd, LOCK_EX | LOCK_NB); });
    probe.locked = rc != 0 && errno == EWOULDBLOCK;
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        if ((ss.flags & ASYNC_LOW_LATENCY) == 0) {
            ss.flags |= ASYNC_LOW_LATENCY;
            (void)ioctl(fd, TIOCSSERIAL, &ss);
            (void)ioctl(fd, TIOCGSERIAL, &ss);
        }
        probe.lowLatency =
            (ss.flags & ASYNC_LOW_LATENCY) != 0 ? LowLatency::Accepted : LowLatency::Refused;
    }
    return probe;
}

int UsbLatencyTimerMs(const std::string& device, const std::string& sysDir, std::string* file) {
    const std::size_t slash = device.rfind('/');
    const std::string name = slash == std::string::npos ? device : device.substr(slash + 1);
    const std::string path = sysDir + "/bus/usb-serial/devices/" + name + "/latency_timer";
    const std::string text = FirstLine(path);
    if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0])) == 0) {
        return -1;
    }
    *file = path;
    return std::atoi(text.c_str());
}
