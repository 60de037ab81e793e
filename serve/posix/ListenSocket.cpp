#include "serve/ListenSocket.h"

#include <sys/socket.h>

void PrepareListenSocket(std::uintptr_t nativeHandle) {
    const int on = 1;
    setsockopt(static_cast<int>(nativeHandle), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}
