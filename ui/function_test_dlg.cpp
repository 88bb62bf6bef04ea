#include "ui/function_test_dlg.h"

#include "framework/text.h"
#include "resources/resource.h"
#include "settings/policy.h"
#include "settings/run_state.h"
#include "security/password_crypto.h"
#include "system/platform.h"
#include "system/platform_calls.h"
#include "system/process_walk.h"
#include "system/program_disable.h"
#include "system/sharing.h"

CFunctionTestDlg::CFunctionTestDlg(CDialog *parent) : CDialog(IDD_FUNCTION_TEST, parent) {}

BOOL CFunctionTestDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    const bool nt = IsWindowsNT();
    // Without the system's crypto the password is kept scrambled, as older versions
    // kept it: whoever reads the settings can recover it.
    SetDlgItemText(IDC_TEST_PLATFORM,
                   LoadStr(nt ? IDS_PLATFORM_NT : IDS_PLATFORM_9X) +
                       (PasswordCryptoAvailable() ? "" : LoadStr(IDS_PLATFORM_NO_HASH)));
    // Renaming system programs only means something on Windows 95/98/Me.
    for (int id : {IDC_TEST_ENABLE_CPL, IDC_TEST_DISABLE_CPL, IDC_TEST_ENABLE_REGPGMS,
                   IDC_TEST_DISABLE_REGPGMS})
        EnableDlgItem(id, !nt);
    CheckDlgButton(IDC_TEST_BEEP, ReadStatusValue("beep") ? 1 : 0);
    // A log switched by policy shows as the policy sets it, greyed.
    DWORD managed = 0;
    const bool logManaged = PolicySwitch(ReadPolicyValues(), "logfile", managed);
    CheckDlgButton(IDC_TEST_LOGFILE, (logManaged ? managed : ReadStatusValue("logfile")) ? 1 : 0);
    EnableDlgItem(IDC_TEST_LOGFILE, !logManaged);
    return TRUE;
}

void CFunctionTestDlg::OnOK() {
    WriteStatusValue("beep", IsDlgButtonChecked(IDC_TEST_BEEP) == 1 ? 1 : 0);
    if (IsDlgItemEnabled(IDC_TEST_LOGFILE))
        WriteStatusValue("logfile", IsDlgButtonChecked(IDC_TEST_LOGFILE) == 1 ? 1 : 0);
    CDialog::OnOK();
}

void CFunctionTestDlg::OnDestroy() {
    AfxQuitHelp();
    CDialog::OnDestroy();
}

BOOL CFunctionTestDlg::OnCommand(UINT id, UINT notifyCode) {
    switch (id) {
    case IDC_TEST_ENABLE_CPL:
        OnEnableCpl();
        return TRUE;
    case IDC_TEST_DISABLE_CPL:
        OnDisableCpl();
        return TRUE;
    case IDC_TEST_ENABLE_REGPGMS:
        OnEnableRegPgms();
        return TRUE;
    case IDC_TEST_DISABLE_REGPGMS:
        OnDisableRegPgms();
        return TRUE;
    case IDC_TEST_KILL_DOS:
        OnKillDosApps();
        return TRUE;
    case IDC_TEST_KILL_SHARING:
        OnKillSharingDlg();
        return TRUE;
    case IDC_TEST_NORMAL_SHUTDOWN:
        OnNormalShutdown();
        return TRUE;
    case IDC_TEST_NORMAL_RESTART:
        OnNormalRestart();
        return TRUE;
    case IDC_TEST_FORCED_SHUTDOWN:
        OnForcedShutdown();
        return TRUE;
    case IDC_TEST_FORCED_RESTART:
        OnForcedRestart();
        return TRUE;
    default:
        return CDialog::OnCommand(id, notifyCode);
    }
}

void CFunctionTestDlg::OnEnableCpl() {
    EnableDateTimeControlPanel(true);
}
void CFunctionTestDlg::OnDisableCpl() {
    EnableDateTimeControlPanel(false);
}
void CFunctionTestDlg::OnEnableRegPgms() {
    EnableRegistryPrograms(true);
}
void CFunctionTestDlg::OnDisableRegPgms() {
    EnableRegistryPrograms(false);
}

// Unlike the shut-down sequence: whatever the setting says, and no log line.
void CFunctionTestDlg::OnKillDosApps() {
    KillDosProcesses();
}

void CFunctionTestDlg::OnKillSharingDlg() {
    CloseSharingDialog();
}

// The shut-down buttons rely on the privilege the scheduler dialog's construction
// enabled, and show nothing.
void CFunctionTestDlg::OnNormalShutdown() {
    RequestExitWindows(EWX_SHUTDOWN | EWX_POWEROFF);
}
void CFunctionTestDlg::OnNormalRestart() {
    RequestExitWindows(EWX_REBOOT);
}
void CFunctionTestDlg::OnForcedShutdown() {
    RequestExitWindows(EWX_SHUTDOWN | EWX_FORCE | EWX_POWEROFF);
}
void CFunctionTestDlg::OnForcedRestart() {
    RequestExitWindows(EWX_REBOOT | EWX_FORCE);
}
