// The short modes of a start that doesn't run the scheduler: the function test,
// the uninstall pre-check and the answer of a second instance. Each uses the
// scheduler dialog object only as the holder of the settings.
#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/vespra_app.h"
#include "scheduler/vespra_dlg.h"
#include "settings/run_state.h"
#include "system/function_test_dlg.h"
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

BOOL CVespraApp::RunUninstallCheck(BOOL alreadyRunning) {
    if (alreadyRunning) {
        KillUninstaller();
        WriteLog("Can't uninstall - Vespra is active");
        ShowMessage(IDS_UNINSTALL_ACTIVE, MB_ICONEXCLAMATION);
        return FALSE;
    }
    CVespraDlg &dlg = *m_pSchedulerDlg;
    dlg.ReadRegistry();
    if (!dlg.GetData().sPassword.empty()) {
        KillUninstaller();
        WriteLog("Can't uninstall - a password is set");
        ShowMessage(IDS_UNINSTALL_PROTECTED, MB_ICONEXCLAMATION);
        return FALSE;
    }
    return TRUE;
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
    const SettingsDlgData data = dlg.GetData();
    if (!data.sPassword.empty()) {
        CEnterPasswordDlg password(FALSE, nullptr);
        password.DoModal();
        if (password.m_sPassword != data.sPassword) {
            if (!password.m_sPassword.empty())
                ShowMessage(IDS_WRONG_PASSWORD_SETTINGS, MB_ICONHAND);
            WriteLog("Can't show settings - password is wrong");
            return;
        }
    }
    if (!dlg.EditSettings())
        return;
    if (IsAltKeyDown()) {
        dlg.WriteIni();
    } else if (dlg.WriteRegistry()) {
        ShowMessage(IDS_NEXT_START, MB_ICONINFORMATION);
    }
}
