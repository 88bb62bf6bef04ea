// CWinApp: the application object. The program's work happens in InitInstance;
// PreTranslateMessage sees every message, thread messages posted while a modal
// dialog or message box runs included.
#pragma once

#include <string>

#include "framework/win32_types.h"

class CDialog;

#ifndef _WIN32
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
#define HELP_CONTEXT 0x0001u
#define HELP_QUIT 0x0002u
#endif

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp &) = delete;
    CWinApp &operator=(const CWinApp &) = delete;

    virtual BOOL InitInstance();
    virtual BOOL PreTranslateMessage(MSG *msg);
    virtual void WinHelp(DWORD data, UINT cmd = HELP_CONTEXT);

    // The text after the program name on the command line.
    std::string m_lpCmdLine;
    CDialog *m_pMainWnd = nullptr;
    // What the program's process returns when InitInstance is done.
    int m_nExitCode = 0;
};

CWinApp *AfxGetApp();

// Runs the application object: takes the command-line tail, then InitInstance with
// the message filter in place that hands modal loops' messages to PreTranslateMessage.
// The program's entry calls it; a test program may call it with an app of its own.
// Returns the application's m_nExitCode.
int AfxWinMain();

// A message box captioned with the program's title, owned by the main window if any.
int AfxMessageBox(const std::string &text, UINT type = MB_OK);

// The command-line tail as a program started with this full command line sees it:
// the program-name token (quoted or not) and the blanks after it are skipped.
std::string CommandLineTail(const std::string &commandLine);
