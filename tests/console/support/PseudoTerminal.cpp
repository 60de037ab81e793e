#include "PseudoTerminal.h"

#include <poll.h>
#include <pty.h>
#include <unistd.h>

CPseudoTerminal::CPseudoTerminal() {
    int slave = -1;
    char name[128] = {};
    if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
        m_master = -1;
        return;
    }
    // Only the program under test holds the slave side from now on.
    close(slave);
    m_slavePath = name;
}

CPseudoTerminal::~CPseudoTerminal() {
    if (m_master >= 0) {
        close(m_master);
    }
}

// The master reports a hang-up exactly while no slave descriptor is open.
bool CPseudoTerminal::SlaveIsOpen() const {
    pollfd p{m_master, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) {
        return false;
    }
    return (p.revents & POLLHUP) == 0;
}
