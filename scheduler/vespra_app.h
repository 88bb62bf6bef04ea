// CVespraApp: reads the switch, takes the single-instance mutex and runs one mode.
#pragma once

#include <string>

#include "framework/app.h"

class CVespraDlg;

// The switches of the command line, compared with the whole tail ignoring case.
struct StartupFlags {
    BOOL settings = FALSE;
    BOOL test = FALSE;
    BOOL uninstall = FALSE;
    BOOL service = FALSE;
    BOOL logon = FALSE;
    BOOL agent = FALSE;
};

StartupFlags ParseSwitches(const std::string &commandTail);

// True when a vespra.ini is found and the registry holds no settings "status".
BOOL IsNetworkClient();

class CVespraApp : public CWinApp {
public:
    BOOL InitInstance() override;
    BOOL PreTranslateMessage(MSG *msg) override;
    void WinHelp(DWORD data, UINT cmd = HELP_CONTEXT) override;

    // Message boxes captioned "Vespra", owned by the main window when there is one.
    int ShowMessage(const std::string &text, UINT type);
    int ShowMessage(UINT stringId, UINT type);

    // The short modes that never run the scheduler.
    void RunTestMode();
    // FALSE when the uninstall is refused.
    BOOL RunUninstallCheck(BOOL alreadyRunning);
    void RunSecondInstance(BOOL settings);

    CVespraDlg *m_pSchedulerDlg = nullptr;
};
