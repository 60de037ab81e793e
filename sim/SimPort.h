// The simulator's end of the line: a pseudo-terminal whose other side the
// program under test opens like a serial port, or a real serial device.
//
// With a pseudo-terminal the simulator keeps the other side (the "slave") open
// itself, so that the program under test can open and close it as often as it
// likes without the simulator's side seeing a hang-up. Two things follow:
//   - a client that takes the terminal with TIOCEXCL leaves that mark behind
//     when it closes, because the terminal lives on while the simulator holds
//     it (a real serial port forgets it at its last close); the next open would
//     then fail with EBUSY for anyone but root. The simulator watches the
//     device node with inotify and lifts the mark once the last client has
//     closed it;
//   - the simulator never takes an advisory lock or TIOCEXCL itself, so the
//     client's flock and TIOCEXCL succeed.
//
// With --listen the simulator plays a serial device server instead: a TCP
// listener that takes one client at a time. While a client is connected the
// listener is not watched, so a second client waits in the listen backlog
// until the first has closed (refusing it would race a client's own
// reconnect).
#pragma once

#include <cstdint>
#include <string>

#include "link/LineSettings.h"

class CSimPort {
public:
    CSimPort() = default;
    CSimPort(const CSimPort&) = delete;
    CSimPort& operator=(const CSimPort&) = delete;
    ~CSimPort();

    // A new pseudo-terminal; its other side in raw mode. False with error set on failure.
    bool OpenPty(std::string& error);
    // A serial device, raw at these settings, no flow control. False with error set on failure.
    bool OpenDevice(const std::string& path, const LineSettings& line, std::string& error);
    // A TCP listener on "HOST:PORT" (port 0: the system chooses). False with
    // error set on failure. mbtcp: clients speak Modbus TCP, and Path() is
    // "mbtcp://HOST:PORT".
    bool Listen(const std::string& hostPort, std::string& error, bool mbtcp = false);
    // Makes linkPath a symbolic link to Path(); an existing symbolic link there is
    // replaced, unless another k40sim that still runs holds the device it points
    // to (a stale link of a killed simulator is replaced); anything else is
    // left alone and reported.
    bool MakeLink(const std::string& linkPath, std::string& error);
    // Removes the link if it still points to this port.
    void RemoveLink();

    // The descriptor to read requests from and write replies to; -1 while a
    // listener has no client.
    int Fd() const { return m_fd; }
    // The listener to wait on for a client, -1 while one is connected (or when
    // this is no listener).
    int ListenFd() const { return m_fd < 0 ? m_listenFd : -1; }
    // Takes the next client from the backlog. False when there was none.
    bool Accept();
    // The client has gone: closes its connection, the listener waits again.
    void DropClient();
    bool IsSocket() const { return m_listenFd >= 0; }
    // The inotify descriptor of the pseudo-terminal's device node, or -1.
    int WatchFd() const { return m_watchFd; }
    // Takes the inotify events; after the last client's close lifts TIOCEXCL.
    void OnWatchEvent();
    bool IsPty() const { return m_slaveFd >= 0; }
    // Pseudo-terminal: the line the client last set on its side (the terminal's
    // settings are shared by all who hold it open): its rate, parity and stop
    // bits. Baud 0 for a device or a connection, or when the rate is not one
    // of the usual ones.
    LineSettings ClientLine() const;
    // What --help adds on this platform: on Windows, that only --listen serves.
    static const char* PlatformNote();
    // The path that clients open: the pseudo-terminal's other side, the device,
    // or the listener's "tcp://HOST:PORT".
    const std::string& Path() const { return m_path; }

private:
    void CloseAll();

    int m_fd = -1;
    int m_slaveFd = -1;
    int m_watchFd = -1;
    int m_listenFd = -1;
    int m_nOpeners = 0;  // clients that have the pseudo-terminal open
    std::string m_path;
    std::string m_link;
};
