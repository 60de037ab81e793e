#include "link/win32/CommDevice.h"

#include <algorithm>

namespace {

// The driver's queues: a whole reply (at most 256 bytes) and more.
constexpr DWORD kQueueBytes = 4096;
// A write waits at most this long for the driver to take the bytes; the
// link's deadline bounds the whole transmission above it.
constexpr DWORD kWriteStepMs = 20;
// How long a wait for room in the output queue sleeps before looking again.
constexpr DWORD kWritablePollMs = 1;

// "\\.\COMn": the prefix makes COM10 and above openable, and is harmless below.
std::string DevicePath(const std::string& name) {
    return name.compare(0, 4, "\\\\.\\") == 0 ? name : "\\\\.\\" + name;
}

// Why a port that opened has no line settings. A name that opens but is no
// serial line (a printer port, Wine's COM port whose device does not exist)
// answers that the call is not supported: to the user there is no such port.
// Any other error is the driver's (a USB adapter pulled while opening, a
// driver that fails) and keeps its own words.
int CommStateError(DWORD error) {
    switch (error) {
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_FILE_NOT_FOUND:
            return ERROR_FILE_NOT_FOUND;
        default:
            return static_cast<int>(error);
    }
}

}  // namespace

std::unique_ptr<CCommDevice> CCommDevice::Open(const std::string& name, int* error) {
    int ignored = 0;
    int& why = error != nullptr ? *error : ignored;
    why = 0;
    if (name.empty()) {
        why = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    // No sharing: a COM port is exclusive, and Windows answers a second open
    // with ERROR_ACCESS_DENIED.
    HANDLE h = CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        why = static_cast<int>(GetLastError());
        return nullptr;
    }
    std::unique_ptr<CCommDevice> dev(new CCommDevice(h));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        why = CommStateError(GetLastError());
        return nullptr;
    }
    (void)SetupComm(h, kQueueBytes, kQueueBytes);
    if (!dev->SetReadWait(0)) {
        why = static_cast<int>(GetLastError());
        return nullptr;
    }
    dev->Discard(true, true);
    return dev;
}

CCommDevice::~CCommDevice() {
    CloseHandle(m_handle);
}

int CCommDevice::SetLine(const LineSettings& line) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (line.baud == 0 || !GetCommState(m_handle, &dcb)) {
        return 0;
    }
    dcb.BaudRate = line.baud;
    dcb.ByteSize = 8;
    dcb.Parity = line.parity == Parity::Even  ? EVENPARITY
                 : line.parity == Parity::Odd ? ODDPARITY
                                              : NOPARITY;
    dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    // With parity the driver checks it and counts the errors; the damaged
    // byte is still read (fErrorChar off), and the frame's CRC refuses it.
    dcb.fParity = line.parity == Parity::None ? FALSE : TRUE;
    // No flow control, and nobody else should drive the modem lines: DTR and
    // RTS held off.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    // A framing error must not stop all further reads until ClearCommError.
    dcb.fAbortOnError = FALSE;
    return SetCommState(m_handle, &dcb) ? 1 : 0;
}

void CCommDevice::Discard(bool input, bool output) {
    DWORD flags = 0;
    if (input) {
        flags |= PURGE_RXCLEAR | PURGE_RXABORT;
        m_held.clear();
    }
    if (output) {
        flags |= PURGE_TXCLEAR | PURGE_TXABORT;
    }
    if (flags != 0) {
        (void)PurgeComm(m_handle, flags);
    }
}

bool CCommDevice::SetReadWait(DWORD ms) {
    if (ms == m_readWait) {
        return true;
    }
    COMMTIMEOUTS t{};
    if (ms == 0) {
        t.ReadIntervalTimeout = MAXDWORD;  // what is queued, at once
    } else {
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = ms;
    }
    t.WriteTotalTimeoutConstant = kWriteStepMs;
    if (!SetCommTimeouts(m_handle, &t)) {
        m_readWait = MAXDWORD;
        return false;
    }
    m_readWait = ms;
    return true;
}

bool CCommDevice::Status(COMSTAT& status) {
    DWORD errors = 0;
    status = COMSTAT{};
    // Also clears a line error (framing, overrun), which would otherwise
    // stop the driver; the exchange's CRC check sees what it did to a frame.
    return ClearCommError(m_handle, &errors, &status) != 0;
}

long CCommDevice::QueuedInput() {
    COMSTAT status;
    if (!Status(status)) {
        return -1;
    }
    return static_cast<long>(status.cbInQue + m_held.size());
}

long CCommDevice::Read(std::uint8_t* buffer, std::size_t size) {
    std::size_t done = std::min(size, m_held.size());
    std::copy_n(m_held.begin(), done, buffer);
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(done));
    if (done == size) {
        return static_cast<long>(done);
    }
    if (!SetReadWait(0)) {
        return done > 0 ? static_cast<long>(done) : -1;
    }
    DWORD got = 0;
    if (!ReadFile(m_handle, buffer + done, static_cast<DWORD>(size - done), &got, nullptr)) {
        return done > 0 ? static_cast<long>(done) : -1;
    }
    return static_cast<long>(done + got);
}

long CCommDevice::WriteSome(const std::uint8_t* buffer, std::size_t length) {
    DWORD written = 0;
    if (!WriteFile(m_handle, buffer, static_cast<DWORD>(length), &written, nullptr)) {
        // The write time-out ran out with part taken: the count says how much.
        return GetLastError() == ERROR_TIMEOUT ? static_cast<long>(written) : -1;
    }
    return static_cast<long>(written);
}

long CCommDevice::QueuedOutput() {
    COMSTAT status;
    if (!Status(status)) {
        return -1;
    }
    return static_cast<long>(status.cbOutQue);
}

WaitResult CCommDevice::WaitWritable(std::uint32_t ms) {
    COMSTAT status;
    if (!Status(status)) {
        return WaitResult::Failed;
    }
    if (status.cbOutQue < kQueueBytes) {
        return WaitResult::Readable;
    }
    ::Sleep(std::min<DWORD>(ms, kWritablePollMs));
    return WaitResult::TimedOut;
}

WaitResult CCommDevice::WaitReadable(std::uint32_t ms) {
    if (!m_held.empty()) {
        return WaitResult::Readable;
    }
    COMSTAT status;
    if (!Status(status)) {
        return WaitResult::Failed;
    }
    if (status.cbInQue > 0) {
        return WaitResult::Readable;
    }
    if (ms == 0) {
        return WaitResult::TimedOut;
    }
    // One blocking read: back at the first byte, or when the wait is over.
    if (!SetReadWait(ms)) {
        return WaitResult::Failed;
    }
    std::uint8_t first = 0;
    DWORD got = 0;
    if (!ReadFile(m_handle, &first, 1, &got, nullptr)) {
        // Windows ends a timed-out read with 0 bytes; Wine may fail it with
        // ERROR_TIMEOUT (1460) instead. Anything else: the line has failed.
        return GetLastError() == ERROR_TIMEOUT ? WaitResult::TimedOut : WaitResult::Failed;
    }
    if (got == 0) {
        return WaitResult::TimedOut;
    }
    m_held.push_back(first);
    return WaitResult::Readable;
}
