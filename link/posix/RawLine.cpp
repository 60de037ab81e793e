#include "link/posix/RawLine.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <cerrno>

namespace {

// The devices of pseudo-terminals' slave sides (UNIX98_PTY_SLAVE_MAJOR and
// the seven majors after it).
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

// A pseudo-terminal carries bytes, not bits: the kernel drops PARENB there
// (and keeps the rest), and the C library reports that as EINVAL whenever
// nothing else changed, so setting the same parity twice would fail. There
// the state counts as applied when all but PARENB is what was asked.
bool AppliedButParity(int fd, const termios& asked) {
    termios now{};
    return IsPseudoTerminal(fd) && tcgetattr(fd, &now) == 0 && now.c_iflag == asked.c_iflag &&
           (now.c_cflag & ~static_cast<tcflag_t>(PARENB)) ==
               (asked.c_cflag & ~static_cast<tcflag_t>(PARENB));
}

}  // namespace

unsigned TermiosSpeed(std::uint32_t baud) {
    switch (baud) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

FrameFlags TermiosFrameFlags(const LineSettings& line) {
    FrameFlags f;
    if (line.parity != Parity::None) {
        f.control |= PARENB | (line.parity == Parity::Odd ? PARODD : 0u);
        f.input |= INPCK | IGNPAR;
    }
    if (line.stopBits == 2) {
        f.control |= CSTOPB;
    }
    return f;
}

bool SetRawLine(int fd, const LineSettings& line) {
    const speed_t speed = TermiosSpeed(line.baud);
    if (line.baud != 0 && speed == B0) {
        return false;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);  // 8 data bits, no parity, no echo, no translation
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
    const FrameFlags frame = TermiosFrameFlags(line);
    tio.c_cflag |= CS8 | CLOCAL | CREAD | static_cast<tcflag_t>(frame.control);
    tio.c_iflag |= static_cast<tcflag_t>(frame.input);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (speed != B0) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    int r;
    do {
        r = tcsetattr(fd, TCSANOW, &tio);
    } while (r != 0 && errno == EINTR);
    if (r != 0 && errno == EINVAL && (tio.c_cflag & PARENB) != 0) {
        return AppliedButParity(fd, tio);
    }
    return r == 0;
}
