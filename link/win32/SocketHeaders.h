// The BSD socket declarations on Winsock, for the socket-address code that
// Linux and Winsock share (link/sockets/).
#pragma once

#include <winsock2.h>

#include <ws2tcpip.h>
