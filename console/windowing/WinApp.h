// The application object: one global instance derived from CWinApp; the
// program's entry runs its InitInstance once, after static initialisation.
#pragma once

#include <QIcon>
#include <QString>

#include "console/windowing/WinTypes.h"

class QWidget;

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

    QString m_pszAppName;  // application title: caption of every message box
    QWidget* m_pMainWnd = nullptr;
};

// The program's icon (icon 128) from the compiled-in resources: the window
// icon of every window. Empty when the program carries no icon.
QIcon AfxLoadMainIcon();

// The one application object, or null before it is built.
CWinApp* AfxGetApp();

// The program entry behind main(): starts Qt, runs app.InitInstance() and
// ends with ExitInstance's result. The command line is not looked at: only the
// program name is handed to Qt, so no argument changes what the program does.
int AfxWinMain(CWinApp& app, int argc, char* argv[]);
