// Winsock's SOCKET kept in the int members the Linux descriptors use: socket
// handles are small kernel handles, and INVALID_SOCKET becomes -1. The port
// and the loop both turn one into the other.
#pragma once

#include <winsock2.h>

inline SOCKET AsSocket(int fd) {
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(fd);
}

inline int AsInt(SOCKET s) {
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
