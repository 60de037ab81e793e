// What a listening socket of k40ctl serve needs from its platform before bind:
// one function, in posix/ and win32/.
#pragma once

#include <cstdint>

// POSIX: SO_REUSEADDR, so that a restarted server listens again at once while
// the old connections linger in TIME_WAIT. Windows: SO_EXCLUSIVEADDRUSE, as
// SO_REUSEADDR there would let another program bind the same port.
void PrepareListenSocket(std::uintptr_t nativeHandle);
