// The application: builds the main sheet, runs it modally and ends the
// program when it closes. The serial line object theComm belongs to the
// program as a whole; it is built before theApp and destroyed after it, and
// its destructor closes the port if it is still open.
#pragma once

#include "console/windowing/WinApp.h"
#include "link/ModbusComm.h"

class CRtuToolApp : public CWinApp {
public:
    CRtuToolApp() = default;
    ~CRtuToolApp() override = default;

    // Runs the main sheet and returns FALSE: the program then ends.
    BOOL InitInstance() override;
};

extern CModbusComm theComm;
extern CRtuToolApp theApp;
