// The reply that comes after the reply wait. A unit slower than the wait
// still answers the request that timed out; if the next exchange went out
// first, that reply would arrive during it, and a repeated read asks exactly
// what the earlier one asked, so it would pass for the new reply. A master
// that polls (k40ctl's watch) therefore listens for it before its next request.
#pragma once

#include <cstdint>

#include "link/Clock.h"
#include "link/ModbusComm.h"

// After an exchange that timed out: collects what arrives, behind what the
// exchange left in m_RecvBuf, for up to the reply wait, and stops once a whole
// frame from the slave (ending in its own CRC) has come and the line has then
// been quiet for 3.5 characters. True when that frame answers the request
// still in m_SendBuf (a reply or an exception): the late reply.
bool ListenForLateReply(CModbusComm& comm, IClock& clock = SystemClock());
