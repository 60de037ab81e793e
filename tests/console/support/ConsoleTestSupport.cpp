#include "ConsoleTestSupport.h"

#include <cstdio>
#include <cstdlib>

#include "console/RtuToolApp.h"
#include "unit/GbkText.h"

void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

void ResetTheComm() {
    theComm.ClosePort();
    theComm.m_nPort = 0;
    theComm.m_nOpenPort = 0;
    theComm.m_nBaud = 4;
    theComm.m_nSlaveAddr = 1;
    theComm.m_nWaitTime = 1500;
    theComm.m_echoMode = EchoMode::Auto;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char cell[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(cell, sizeof cell, "%02X ", b);
        text += cell;
    }
    return text;
}

std::string Utf8(const char* gbk) {
    return GbkToUtf8(gbk);
}
