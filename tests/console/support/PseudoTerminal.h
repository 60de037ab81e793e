// A pseudo-terminal standing in for a serial port: the program opens the
// slave side by its path; the test holds the master side and can tell
// whether anyone has the slave open.
#pragma once

#include <string>

class CPseudoTerminal {
public:
    CPseudoTerminal();
    ~CPseudoTerminal();
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    bool IsValid() const { return m_master >= 0; }
    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }
    // True while some program holds the slave side open.
    bool SlaveIsOpen() const;

private:
    int m_master = -1;
    std::string m_slavePath;
};
