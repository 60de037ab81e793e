#include "cli/win32/ConsoleKeeper.h"

void ConsoleKeeper::UseOutputCodePage(unsigned page) {
    const unsigned before = m_calls.OutputCodePage();
    if (before == 0 || before == page || !m_calls.SetOutputCodePage(page)) {
        return;
    }
    unsigned none = 0;  // a second change keeps the first page to go back to
    m_codePage.compare_exchange_strong(none, before);
}

bool ConsoleKeeper::UseModeFlags(int stream, std::uint32_t flags) {
    std::uint32_t before = 0;
    if (stream < 0 || stream > 1 || !m_calls.Mode(stream, before)) {
        return false;
    }
    if ((before & flags) == flags) {
        return true;
    }
    if (!m_calls.SetMode(stream, before | flags)) {
        return false;
    }
    if (!m_modeChanged[stream]) {
        m_mode[stream] = before;
        m_modeChanged[stream] = true;
    }
    return true;
}

void ConsoleKeeper::Restore() {
    if (m_restored.exchange(true)) {
        return;
    }
    // When both streams are one console, the second finds the flags on
    // already: only the first change is recorded and put back.
    for (int stream = 0; stream < 2; ++stream) {
        if (m_modeChanged[stream]) {
            m_calls.SetMode(stream, m_mode[stream]);
        }
    }
    const unsigned page = m_codePage;
    if (page != 0) {
        m_calls.SetOutputCodePage(page);
    }
}
