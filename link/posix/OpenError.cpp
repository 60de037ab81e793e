#include "link/OpenError.h"

#include <cerrno>
#include <cstring>

const int kNoSuchDeviceError = ENODEV;

std::string OpenErrorText(int error) {
    switch (error) {
        case 0:
            return "unknown reason";
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "no such device";
        case EACCES:
        case EPERM:
            return "permission denied (serial ports belong to the group dialout: "
                   "add your user to it and log in again)";
        case EBUSY:
        case EWOULDBLOCK:
            return "busy: another program holds it";
        default:
            return SystemErrorText(error);
    }
}

std::string SystemErrorText(int error) {
    return std::strerror(error);
}
