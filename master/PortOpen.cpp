#include "master/PortOpen.h"

#include "link/OpenError.h"
#include "link/SerialDevice.h"

bool OpenNamedPort(CModbusComm& comm, const CNamedPort& ports, std::string* why) {
    comm.m_nPort = 0;  // a named port set has the one port
    if (comm.OpenPort() != 0) {
        return true;
    }
    const std::string& name = ports.Name();
    const std::string& reason = ports.LastOpenReason();
    // COMn names whatever it resolved to right now: say which device that was.
    const std::string device = ResolvePortName(name);
    const std::string shown = device == name ? name : name + " (" + device + ")";
    *why = "cannot open " + shown + ": " +
           (reason.empty() ? OpenErrorText(comm.m_nOpenError) : reason);
    return false;
}
