#include "console/RtuToolApp.h"

#include "console/MyPropertySheet.h"

// Both globals live in this one file, so that their order is fixed: theComm
// is constructed first and destroyed last, after the application object.
CModbusComm theComm;
CRtuToolApp theApp;

BOOL CRtuToolApp::InitInstance() {
    CMyPropertySheet dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;  // the sheet is gone with this scope
    return FALSE;
}
