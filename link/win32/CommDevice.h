// The serial device on Windows: a COM port opened exclusively through
// CreateFileA("\\.\COMn") and driven by the comm calls (SetupComm,
// SetCommState, SetCommTimeouts, PurgeComm, ClearCommError, ReadFile,
// WriteFile). The only place that calls Windows for the serial line.
//
// Waiting never spins: a wait for input is one ReadFile bounded by the comm
// time-outs (return at the first byte, or after the wait), and the byte it
// brings is held for the next Read. WaitCommEvent is not used: under Wine on a
// pseudo-terminal it returns at once with an empty mask.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/SerialDevice.h"

class CCommDevice : public ISerialDevice {
public:
    // Opens "COMn" (or "\\.\COMn"), exclusively; null when it is missing
    // (ERROR_FILE_NOT_FOUND) or held by another program (ERROR_ACCESS_DENIED),
    // with *error (when given) the Win32 error.
    static std::unique_ptr<CCommDevice> Open(const std::string& name, int* error = nullptr);
    ~CCommDevice() override;
    CCommDevice(const CCommDevice&) = delete;
    CCommDevice& operator=(const CCommDevice&) = delete;

    int SetLine(const LineSettings& line) override;
    void Discard(bool input, bool output) override;
    long QueuedInput() override;
    long Read(std::uint8_t* buffer, std::size_t size) override;
    long WriteSome(const std::uint8_t* buffer, std::size_t length) override;
    long QueuedOutput() override;
    WaitResult WaitWritable(std::uint32_t ms) override;
    WaitResult WaitReadable(std::uint32_t ms) override;

private:
    explicit CCommDevice(HANDLE handle) : m_handle(handle) {}
    // ReadFile returns what is queued at once, else waits up to ms for the
    // first byte (MAXDWORD, MAXDWORD, ms); 0 never waits. Set only on change.
    bool SetReadWait(DWORD ms);
    // The driver's queue counts; false when the device has failed.
    bool Status(COMSTAT& status);

    HANDLE m_handle;
    DWORD m_readWait = MAXDWORD;       // the read wait the driver has now; MAXDWORD: not set yet
    std::vector<std::uint8_t> m_held;  // what a wait read, not yet handed out
};
