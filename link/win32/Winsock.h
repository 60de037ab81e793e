// Winsock, started once for the program.
#pragma once

#include <winsock2.h>

// Starts Winsock once for the program; false when it cannot be started.
bool StartWinsock();
