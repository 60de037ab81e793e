// A pseudo-terminal pair for tests: the program opens the slave side by its
// path like a serial port, the test plays the unit on the master side.
//
// By default the test holds a descriptor of the slave side as well, so that
// the master never sees a hang-up while the program closes and opens its side
// (every "设  置" does): the unit keeps reading and writing across reopens.
// A test that checks whether the program holds the port open leaves the slave
// side to the program (CTestPty::LeaveSlave) and asks SlaveIsOpen().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CTestPty {
public:
    enum SlaveHold { HoldSlave, LeaveSlave };

    // A raw line; the slave side held or left to the program. On failure the
    // path is empty and the master is -1.
    explicit CTestPty(SlaveHold hold = HoldSlave);
    ~CTestPty();
    CTestPty(const CTestPty&) = delete;
    CTestPty& operator=(const CTestPty&) = delete;

    bool IsValid() const { return m_master >= 0; }
    // The slave side's path (/dev/pts/N), to open as the serial port.
    const std::string& Path() const { return m_path; }
    int Master() const { return m_master; }
    // The adapter is unplugged: the program's side sees a hang-up.
    void CloseMaster();

    // True while any descriptor of the slave side is open, in any process.
    // The kernel flags a hang-up on the master exactly while none is, so this
    // is exact and changes nothing on the line; with HoldSlave it is always
    // true, since the test's own descriptor counts.
    bool SlaveIsOpen() const;
    // True when bytes the program wrote wait on the master side.
    bool HasInput() const;

    bool Send(const std::vector<std::uint8_t>& bytes);
    // Reads until count bytes have come or timeoutMs has passed in all; never
    // more than count bytes, so what follows stays for the next read.
    std::vector<std::uint8_t> Receive(std::size_t count, int timeoutMs = 1000);

private:
    int m_master = -1;
    int m_slave = -1;  // with HoldSlave: held so the master never sees a hang-up
    std::string m_path;
};
