// The BSD socket declarations on Linux, for the socket-address code that
// Linux and Winsock share (link/sockets/).
#pragma once

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
