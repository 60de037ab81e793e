// The program's ports on Windows: port index n is COM(n+1) as Windows names
// it, $K40_COMn when set, and where COMn does not exist the adapter that
// stands in for it (link/PortOrder.h). Resolved at every open, so an adapter
// plugged in after the program started is found.
#pragma once

#include <string>

#include "link/SerialDevice.h"

class CCommPorts : public ISerialPorts {
public:
    // The COM name (or tcp:// address) that port resolves to right now.
    std::string PortPath(int port) const;
    std::unique_ptr<ISerialDevice> Open(int port, std::uint32_t waitMs) override;
    std::string PortName(int port) override;
    int LastOpenError() const override { return m_nError; }
    static CCommPorts& Instance();

private:
    int m_nError = 0;
};
