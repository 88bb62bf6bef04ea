// CVespraApp: reads the switch, takes the single-instance mutex and runs one mode.
#pragma once

#include <string>

#include "framework/app.h"

class CVespraDlg;

// The switches of the command line, compared with the whole tail ignoring case; the
// agent's pipe name keeps its case.
struct StartupFlags {
    BOOL settings = FALSE;
    BOOL test = FALSE;
    BOOL uninstall = FALSE;
    BOOL service = FALSE;
    BOOL logon = FALSE;
    BOOL agent = FALSE;
    BOOL update = FALSE; // "/update": the setup's conversion of the stored password
    std::string agentPipe; // "/agent <pipe>": the scheduler's pipe, checked strictly
    // "/uninstall /quiet": the uninstall check of a silent uninstall, which nobody
    // watches; a refusal goes to the log and the exit code, never to a box.
    BOOL quiet = FALSE;
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
    // FALSE when the uninstall is refused; quiet: without a message box.
    BOOL RunUninstallCheck(BOOL alreadyRunning, BOOL quiet = FALSE);
    // A "/settings" start that can't write the settings key runs itself again as an
    // administrator, before anything is asked or written. FALSE when this start
    // ends here: re-launched, or refused with message 109.
    BOOL EnsureSettingsWritable(const std::string &commandTail);
    void RunSecondInstance(BOOL settings);

    CVespraDlg *m_pSchedulerDlg = nullptr;
};
