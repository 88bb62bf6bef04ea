#include "scheduler/app.h"

#include <memory>

#include "framework/text.h"
#include "resources/resource.h"
#include "session/agent.h"
#include "scheduler/scheduler.h"
#include "settings/run_state.h"
#include "system/files.h"
#include "system/log.h"
#include "system/os.h"
#include "session/pipe_channel.h"
#include "system/platform.h"
#include "system/program_disable.h"
#include "system/registry.h"

StartupFlags ParseSwitches(const std::string &commandTail) {
    StartupFlags f;
    const std::string tail = ToLower(commandTail);
    if (tail == "/settings")
        f.settings = TRUE;
    else if (tail == "/test")
        f.test = TRUE;
    else if (tail == "/uninstall")
        f.uninstall = TRUE;
    else if (tail == "/uninstall /quiet")
        f.uninstall = f.quiet = TRUE;
    else if (tail == "/service")
        f.service = TRUE;
    else if (tail == "/logon")
        f.logon = TRUE;
    else if (tail == "/update")
        f.update = TRUE;
    else if (tail == "/agent" || tail.compare(0, 7, "/agent ") == 0) {
        // An agent with no name of ours (a bare "/agent", any other name) is an agent
        // all the same, that ends at once: never a scheduler.
        f.agent = TRUE;
        const std::string name = tail.size() > 7 ? commandTail.substr(7) : std::string();
        if (IsPipeChannelName(name))
            f.agentPipe = name;
    }
    return f;
}

BOOL IsNetworkClient() {
    if (!FileFoundOnSearchPath("vespra.ini"))
        return FALSE;
    RegKey key;
    if (key.Open(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS)
        return TRUE;
    DWORD type = 0, size = 0;
    return key.QueryValue("status", &type, nullptr, &size) == ERROR_SUCCESS ? FALSE : TRUE;
}

BOOL CVespraApp::InitInstance() {
    const StartupFlags flags = ParseSwitches(m_lpCmdLine);
    // The agent only draws the scheduler's dialogs in the user's session: it is no
    // scheduler, holds no mutex and touches no settings.
    if (flags.agent) {
        InitDateTimeControls();
        SetMessageBoxTimeLimit(kUnansweredBoxMs);
        if (!RunAgent(flags.agentPipe))
            m_nExitCode = 1;
        return FALSE;
    }

    // The setup runs this after copying, with the scheduler stopped; it shows nothing
    // that could wait for an answer, as the setup may be silent.
    if (flags.update) {
        SetMessageBoxTimeLimit(kUnansweredBoxMs);
        CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
        dlg.ConvertOldPasswords();
        return FALSE;
    }

    // Before the mutexes: the administrator's start that follows must find them free.
    if (flags.settings && !EnsureSettingsWritable(m_lpCmdLine))
        return FALSE;

    RegisterAsServiceProcess(true);

    const BOOL alreadyRunning = TakeInstanceMutexes(IsWindowsNTFrom(5), IsWindowsNT());

    // A cancel lasts for the run of Windows it was made in: a log-on after a later boot
    // or a resume from hibernation (a fast start-up) starts the service again.
    if (flags.logon && !alreadyRunning && ReadStatusValue("already_canceled") != 0) {
        if (CancelHoldsNow()) {
            WriteLog("Aborting logon start - already canceled");
            return FALSE;
        }
        WriteLog("Canceled before a restart or resume of Windows - starting again");
    }
    WriteStatusValue("already_canceled", 0);

    const BOOL networkClient = IsNetworkClient();

    auto dlg = std::make_unique<CVespraDlg>(nullptr, flags.settings, flags.service, alreadyRunning);
    m_pSchedulerDlg = dlg.get();

    if (!alreadyRunning) {
        EnableDateTimeControlPanel(true);
        EnableRegistryPrograms(true);
        WriteStatusValue("curr_settings", 0);
    }

    if (flags.test) {
        RunTestMode();
    } else if (flags.uninstall) {
        // An uninstaller that is not killed learns of a refusal from the exit code.
        if (!RunUninstallCheck(alreadyRunning, flags.quiet))
            m_nExitCode = 1;
    } else if (!alreadyRunning) {
        if (!IsWindowsNT() || flags.settings || flags.service || networkClient) {
            WriteLog(">>>>>> Starting main app");
            m_pMainWnd = dlg.get();
            // A service's scheduler that nobody can see shows itself through an
            // agent in the user's session.
            if (flags.service)
                StartSessionZeroMode();
            dlg->DoModal();
            StopSessionZeroMode();
            WriteLog("<<<<<< Exiting main app");
        } else {
            // A plain or log-on start on NT: the service starts the scheduler. At
            // a log-on nobody asked for it, so a failure is only logged.
            WriteLog("Main app restarting as service");
            if (flags.logon)
                StartServiceAtLogon();
            else
                UtilServiceControl(Start);
        }
    } else if (!flags.logon) {
        RunSecondInstance(flags.settings);
    }

    m_pMainWnd = nullptr;
    m_pSchedulerDlg = nullptr;
    return FALSE;
}

BOOL CVespraApp::PreTranslateMessage(MSG *msg) {
    if (msg->message == WM_STOP_SCHEDULER && msg->hwnd == nullptr) {
        if (m_pSchedulerDlg) {
            // The service host is stopping the service already.
            m_pSchedulerDlg->m_bNoServiceStopOnExit = TRUE;
            m_pSchedulerDlg->EndDialog(IDOK);
        }
        return TRUE;
    }
    return CWinApp::PreTranslateMessage(msg);
}

void CVespraApp::WinHelp(DWORD data, UINT cmd) {
    // The main window is only ever the scheduler dialog.
    if (!m_pMainWnd || static_cast<CVespraDlg *>(m_pMainWnd)->CanShowHelp())
        CWinApp::WinHelp(data, cmd);
}

int CVespraApp::ShowMessage(const std::string &text, UINT type) {
    HWND owner = m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr;
    return PlatformMessageBox(owner, text, LoadStr(IDS_VESPRA), type);
}

int CVespraApp::ShowMessage(UINT stringId, UINT type) {
    return ShowMessage(LoadStr(stringId), type);
}
