// The short modes of a start that doesn't run the scheduler: the function test,
// the uninstall pre-check and the answer of a second instance. Each uses the
// scheduler dialog object only as the holder of the settings.
#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/app.h"
#include "scheduler/scheduler.h"
#include "settings/policy.h"
#include "settings/run_state.h"
#include "ui/function_test_dlg.h"
#include "system/event_log.h"
#include "system/log.h"
#include "system/platform_calls.h"
#include "system/process_walk.h"
#include "ui/password_dlg.h"

namespace {
// The uninstaller and its temporary copies, killed before a refusal is shown so
// that the uninstall cannot go on behind the message box.
void KillUninstaller() {
    KillProcessesByName("unins000.exe");
    KillProcessesByName(".tmp");
}
} // namespace

void CVespraApp::RunTestMode() {
    CFunctionTestDlg dlg(nullptr);
    dlg.DoModal();
}

BOOL CVespraApp::RunUninstallCheck(BOOL alreadyRunning, BOOL quiet) {
    UINT refusal = 0;
    if (alreadyRunning) {
        WriteLog("Can't uninstall - Vespra is active");
        refusal = IDS_UNINSTALL_ACTIVE;
    } else {
        CVespraDlg &dlg = *m_pSchedulerDlg;
        dlg.ReadRegistry();
        if (dlg.GetData().sPassword.IsSet()) {
            WriteLog("Can't uninstall - a password is set");
            refusal = IDS_UNINSTALL_PROTECTED;
        }
    }
    if (!refusal)
        return TRUE;
    // A silent uninstaller waits for our exit code, and must not be killed: it ends
    // by itself with an error code.
    if (!quiet) {
        KillUninstaller();
        ShowMessage(refusal, MB_ICONEXCLAMATION);
    }
    return FALSE;
}

BOOL CVespraApp::EnsureSettingsWritable(const std::string &commandTail) {
    if (CanWriteSettingsKey())
        return TRUE;
    DWORD error = ERROR_ACCESS_DENIED;
    if (!ElevationAlreadyTried()) {
        error = RelaunchAsAdministrator(commandTail);
        if (error == ERROR_SUCCESS) {
            WriteLog("Settings: started again as an administrator");
            return FALSE;
        }
    }
    WriteLog(StrFormat("Settings: not changed, the settings key can't be written (error %lu)",
                       (unsigned long)error));
    ShowMessage(IDS_SETTINGS_NEED_ADMIN, MB_ICONEXCLAMATION);
    m_nExitCode = 1;
    return FALSE;
}

void CVespraApp::RunSecondInstance(BOOL settings) {
    if (ReadStatusValue("curr_settings") != 0) {
        PlayMessageBeep(0); // settings are open somewhere already
        return;
    }
    const BOOL restarting = ReadStatusValue("curr_restarting") != 0;
    const DWORD useRegistry = ReadStatusValue("curr_useregistry");
    std::string text;
    ReadCurrShutdownTime(text);
    if (useRegistry == 1 && text.empty()) {
        PlayMessageBeep(0);
        return;
    }
    const std::string pending = LoadStr(restarting ? IDS_PENDING_RESTART : IDS_PENDING);
    if (text == pending) {
        ShowMessage(pending, MB_ICONEXCLAMATION);
        return;
    }
    if (useRegistry == 0 || !settings) {
        ShowMessage(FormatText(LoadStr(restarting ? IDS_SCHEDULED_RESTART : IDS_SCHEDULED), text),
                    MB_ICONINFORMATION);
        return;
    }

    CVespraDlg &dlg = *m_pSchedulerDlg;
    dlg.ReadRegistry();
    dlg.TakePolicy(ReadPolicyValues());
    const SettingsDlgData data = dlg.GetData();
    if (data.sPassword.IsSet()) {
        DWORD wait = 0;
        const PasswordAnswer answer = AskPassword(FALSE, data.sPassword, wait);
        if (answer == PasswordAnswer::Waiting) {
            ShowMessage(PasswordWaitText(wait), MB_ICONEXCLAMATION);
            WriteLog("Can't show settings - waiting after wrong passwords");
            return;
        }
        if (answer != PasswordAnswer::Right) {
            if (answer == PasswordAnswer::Wrong) {
                ReportWrongPassword(PasswordPlace::Settings);
                ShowMessage(IDS_WRONG_PASSWORD_SETTINGS, MB_ICONHAND);
            }
            WriteLog("Can't show settings - password is wrong");
            return;
        }
    }
    if (!dlg.EditSettings())
        return;
    if (IsAltKeyDown()) {
        if (dlg.WriteIni())
            ReportSettingsChanged(SettingsSource::IniFile);
    } else if (dlg.WriteRegistry()) {
        ReportSettingsChanged(SettingsSource::Dialog);
        ShowMessage(IDS_NEXT_START, MB_ICONINFORMATION);
    }
}
