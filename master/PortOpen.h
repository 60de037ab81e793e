// The one way k40ctl opens the port it is told by name (--port), for every
// subcommand: COMn as k40tool maps it, a device path, or tcp://HOST:PORT for
// a serial device server.
#pragma once

#include <string>

#include "link/ModbusComm.h"
#include "link/NamedPort.h"

// Opens ports's device on comm (which was made on ports), exclusively; a
// device server's name lookup and connect together are bounded by
// comm.m_nWaitTime, the reply wait (--wait). The line is not set up: the
// caller chooses its rate. False with the reason in *why, in words the
// operator can act on: "cannot open COM2 (/dev/ttyS1): no such device",
// "cannot open tcp://unit7:4001: cannot resolve unit7: ...".
bool OpenNamedPort(CModbusComm& comm, const CNamedPort& ports, std::string* why);
