// The one serial line of the program: opens COM1 or COM2 exclusively, sets
// 8 data bits at one of the rates below, no, even or odd parity and 1 or 2
// stop bits (the window: its seven rates, 8N1), reads only what is
// already queued, writes, purges and closes. Results are 1 (or nonzero) for
// success and 0 for failure; nothing here shows a message or throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/Clock.h"
#include "link/EchoMode.h"
#include "link/LineSettings.h"
#include "link/SerialDevice.h"

class CSerialComm {
public:
    CSerialComm();  // the operating system's ports and clock
    // For tests: a fake device, and the clock a write is timed on.
    explicit CSerialComm(ISerialPorts& ports, IClock& clock = SystemClock());
    CSerialComm(const CSerialComm&) = delete;
    CSerialComm& operator=(const CSerialComm&) = delete;
    virtual ~CSerialComm();

    // Pending driver data: 0 input, 1 output, 2 both; any other kind does nothing.
    virtual void Purge(std::uint8_t kind);

    int OpenPort();
    int SetupPort();
    int InitPort();
    int ClosePort();
    std::uint32_t ReadData(std::uint8_t* buffer, std::uint32_t size);
    // Hands the bytes over and waits until the driver has sent them all, within
    // 8 ms a byte plus m_nTimeout: 1 when they left in time, 0 otherwise.
    int WriteData(const std::uint8_t* buffer, int length);

    // What SetupPort applies: the rate of m_nBaud, m_parity, m_nStopBits.
    LineSettings Line() const { return LineSettings{BaudRate(m_nBaud), m_parity, m_nStopBits}; }
    // Takes the settings over; false (nothing changed) for a rate the line lacks.
    bool SetLineSettings(const LineSettings& line);

    bool IsOpen() const { return m_hComm != nullptr; }
    // The open device, for waiting on input; null when closed.
    ISerialDevice* Device() const { return m_hComm.get(); }

    // The rates of the line by index: 0..6 are the window's seven (600..38400),
    // 7 and 8 are 57600 and 115200; 0 past the end.
    static std::uint32_t BaudRate(int index);
    // The index of a rate in that table; -1 when the line offers no such rate.
    static int BaudIndex(std::uint32_t baud);
    // How long opening may take to reach a serial device server (name lookup
    // and connect): the line's reply wait where there is one, so that an
    // unreachable server costs no more than a silent unit.
    virtual std::uint32_t OpenWaitMs() const { return kDefaultOpenWaitMs; }
    static constexpr std::uint32_t kDefaultOpenWaitMs = 1500;

    // Whether the exchange must take the copy of its request off the line
    // before it looks for the reply: echo on, or auto once the line has shown
    // that it echoes.
    bool EchoExpected() const {
        return m_echoMode == EchoMode::On ||
               (m_echoMode == EchoMode::Auto && m_echoState == EchoState::Present);
    }
    // Auto and nothing known of the echo, and no read has yet been made to
    // settle it since the port was opened: a write must read first.
    bool EchoNeedsSettling() const {
        return m_echoMode == EchoMode::Auto && m_echoState == EchoState::Unknown &&
               !m_bEchoSettling;
    }

    // The open device; empty whenever no device is open (the closed mark).
    std::unique_ptr<ISerialDevice> m_hComm;
    int m_nOpenPort = 0;     // index of the port last opened or tried (0 = COM1)
    int m_nPort = 0;         // index of the port to open next
    int m_nBaud = 4;         // index into the baud table (4 = 9600)
    Parity m_parity = Parity::None;
    int m_nStopBits = 1;  // 1 or 2
    int m_nTimeout = 10000;  // constant part of the write time limit, ms
    EchoMode m_echoMode = EchoMode::Auto;
    // Auto: what the reads have shown of the echo since the port was last opened.
    EchoState m_echoState = EchoState::Unknown;
    // Auto: the read that settles the echo before a write has been made (or is
    // being made) since the port was last opened; it is made once.
    bool m_bEchoSettling = false;
    int m_nOpenError = 0;  // errno of the last failed OpenPort (link/OpenError.h words it)

    // The device behind a port index, for showing it ("/dev/ttyS0").
    std::string PortName(int port) const { return m_pPorts->PortName(port); }

private:
    ISerialPorts* m_pPorts;
    IClock* m_pClock;
};
