// The application object: one global instance derived from CWinApp; the
// program's entry runs its InitInstance once, after static initialisation.
#pragma once

#include <string>

#include "console/windowing/WinTypes.h"

class CWnd;

class CWinApp {
public:
    // Without a name the title is string 57344 of the string table.
    explicit CWinApp(const char16_t* lpszAppName = nullptr);
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    // FALSE ends the program at once; TRUE runs the application's own loop.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The help command (ID_HELP). No help file belongs to the program.
    virtual void OnHelp();

    std::string m_pszAppName;  // application title, UTF-8: caption of every message box
    CWnd* m_pMainWnd = nullptr;
};

// Called while a page's handler waits (an exchange's reply wait): the window
// repaints and answers the system's messages, so that a long wait does not
// get it marked as hung, and no other command starts meanwhile. Nothing on
// Qt, whose window simply waits.
void AfxKeepAlive();

// The one application object, or null before it is built.
CWinApp* AfxGetApp();

// The program entry behind main(), per backend: starts the window system,
// runs app.InitInstance() and ends with ExitInstance's result. The command
// line is not looked at, so no argument changes what the program does.
int AfxWinMain(CWinApp& app, int argc, char* argv[]);
