#include <winsock2.h>

#include "serve/ListenSocket.h"

void PrepareListenSocket(std::uintptr_t nativeHandle) {
    const BOOL on = TRUE;
    setsockopt(static_cast<SOCKET>(nativeHandle), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&on), sizeof on);
}
