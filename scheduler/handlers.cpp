// User-facing handlers of the scheduler dialog: the startup dialog's buttons, the
// centre OK of the notices, the end of a session, the dialog's end, and help.
#include "framework/app.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "session/agent.h"
#include "scheduler/scheduler.h"
#include "settings/run_state.h"
#include "system/event_log.h"
#include "system/log.h"
#include "system/platform.h"
#include "system/program_disable.h"
#include "session/sessions.h"
#include "ui/password_dlg.h"
#include "ui/timed_message_dlg.h"

namespace {
constexpr DWORD kHelpContextScheduler = 0x200CB;
constexpr UINT kWrongPasswordShowMs = 20000;
} // namespace

// The centre OK of the warning and the notices: the pending action goes on.
void CVespraDlg::OnOK() {
    Hide();
}

// The startup dialog's OK: the countdown ends at once. Enter reaches it too when
// the button is no longer there; then there is no countdown to end.
void CVespraDlg::OnStartupOK() {
    if (IsDlgItemVisible(IDC_STARTUP_OK) && IsDlgItemEnabled(IDC_STARTUP_OK))
        EnterWaitingState();
}

void CVespraDlg::OnCancel() {
    // Escape and Alt+F4 arrive here too. Outside the startup countdown there is
    // nothing to cancel: they only put the notice away, as OK does.
    if (!IsDlgItemVisible(IDCANCEL) || !IsDlgItemEnabled(IDCANCEL)) {
        Hide();
        return;
    }
    KillTimer(IDT_SCHEDULER);
    Hide();
    if (m_sPassword.IsSet()) {
        DWORD wait = 0;
        const PasswordAnswer answer = AskPassword(TRUE, m_sPassword, wait);
        if (answer != PasswordAnswer::Right) {
            if (answer == PasswordAnswer::Wrong) {
                ReportWrongPassword(PasswordPlace::Cancel);
                CTimedMessageDlg message(nullptr, IDS_WRONG_PASSWORD_CANCEL, kWrongPasswordShowMs);
                message.DoModal();
            } else if (answer == PasswordAnswer::Waiting) {
                ShowMessage(PasswordWaitText(wait), MB_ICONEXCLAMATION);
            }
            WriteLog(answer == PasswordAnswer::Waiting
                         ? "Can't cancel main app - waiting after wrong passwords"
                         : "Can't cancel main app - password is wrong");
            // The countdown goes on from where it stood.
            if (StartSchedulerTimer(1000))
                ShowOnTop();
            return;
        }
    }
    WriteCancel();
    WriteLog("Main app canceled by user");
    // Who cancelled: the user at the console, whose session shows the countdown.
    ConsoleSessionState console;
    QueryConsoleSession(console);
    ReportUserCancelled(console.userName, console.sessionId);
    if (m_bServiceMode) {
        // The service host ends us with WM_STOP_SCHEDULER; until then hidden and idle.
        UtilServiceControl(Stop);
        return;
    }
    CDialog::OnCancel();
}

void CVespraDlg::OnOptions() {
    KillTimer(IDT_SCHEDULER);
    Hide();
    if (m_sPassword.IsSet()) {
        DWORD wait = 0;
        const PasswordAnswer answer = AskPassword(FALSE, m_sPassword, wait);
        if (answer != PasswordAnswer::Right) {
            if (answer == PasswordAnswer::Wrong) {
                ReportWrongPassword(PasswordPlace::Settings);
                WriteLog("Can't show settings - password is wrong");
                ShowMessage(IDS_WRONG_PASSWORD_SETTINGS, MB_ICONHAND);
            } else if (answer == PasswordAnswer::Waiting) {
                WriteLog("Can't show settings - waiting after wrong passwords");
                ShowMessage(PasswordWaitText(wait), MB_ICONEXCLAMATION);
            }
            ShowOnTop();
            StartSchedulerTimer(1000);
            return;
        }
    } else if (InSessionZeroMode()) {
        // Without a password the settings are the administrators' alone: this
        // scheduler runs as the system, so it opens none for whoever is at the
        // console. The agent starts the settings program as the user, which asks for
        // an administrator; what it writes counts from the next start, as ever.
        WriteLog(StartSettingsAsUser() ? "Settings started in the user's session"
                                       : "Can't start the settings in the user's session");
        ShowOnTop();
        StartSchedulerTimer(1000);
        return;
    }
    if (m_sTimeSep.empty()) {
        AfxMessageBox("CVespraDlg::OnOptions m_sTimeSep was uninitialized", MB_OK);
        ReadLocale();
    }
    // The running scheduler takes the new settings at once.
    if (EditSettings()) {
        if (IsAltKeyDown()) {
            if (WriteIni())
                ReportSettingsChanged(SettingsSource::IniFile);
        } else if (m_bUseRegistry && WriteRegistry()) {
            ReportSettingsChanged(SettingsSource::Dialog);
        }
    }
    SetTopmost();

    if (!m_bShutdown && !m_bRestart) {
        StopServiceIfServiceMode();
        EndDialog(IDOK);
        return;
    }
    if (m_bWelcome) {
        ShowOnTop();
        m_nCountdown = int(m_nWelcomeTime) - 1;
        ShowCountdown(m_nWelcomeTime);
        StartSchedulerTimer(1000);
        return;
    }
    ShowMessage(
        FormatText(LoadStr(m_bRestart ? IDS_SCHEDULED_RESTART : IDS_SCHEDULED), MakeNextTimeText()),
        MB_ICONINFORMATION);
    m_nCountdown = 0;
    EnterWaitingState();
}

void CVespraDlg::OnEndSession(BOOL ending, LPARAM flags) {
    // A log-off that an application refused is no log-off: the user is still there.
    if (!ending && (DWORD(flags) & ENDSESSION_LOGOFF))
        return;
    if (DWORD(flags) & ENDSESSION_LOGOFF) {
        // A sleep since the last tick is seen before the timer starts afresh.
        FollowRealTime();
        Hide();
        // No limit-use countdown and no shut-down under way: wait for the log-off to
        // complete and give the next user the startup countdown.
        if (m_bWelcome && m_nCountdown >= 0 && !m_bShuttingDown) {
            KillTimer(IDT_SCHEDULER);
            m_bLogoffPending = TRUE;
            m_bUserLoggedOn = FALSE;
            m_nCountdown = 0;
            m_bStartupPhase = FALSE;
            SetDlgItemText(IDC_MESSAGE,
                           FormatText(LoadStr(m_bRestart ? IDS_SCHEDULED_RESTART : IDS_SCHEDULED),
                                      MakeNextTimeText()));
            StartSchedulerTimer(1000);
        }
        WriteLog("User logged off");
    } else {
        WriteLog("Windows is shutting down/restarting");
    }
    // With registry settings the scheduler outlives the session (a service on NT,
    // a service process on Windows 95/98/Me); a network client ends with it.
    if (ending && !m_bUseRegistry)
        EndDialog(IDOK);
}

void CVespraDlg::OnDestroy() {
    AfxQuitHelp();
    if (!m_bAlreadyRunning) {
        EnableDateTimeControlPanel(true);
        EnableRegistryPrograms(true);
    }
    if (!m_bNoServiceStopOnExit)
        StopServiceIfServiceMode();
    CDialog::OnDestroy();
}

BOOL CVespraDlg::OnHelpInfo() {
    if (m_bNetworkHelp || CanShowHelp()) {
        // The network topic is asked for from the INI writer's message box, whatever
        // the phase: past the application's own filter.
        if (CWinApp *app = AfxGetApp())
            app->CWinApp::WinHelp(kHelpContextScheduler, HELP_CONTEXT);
    }
    m_bNetworkHelp = FALSE;
    return TRUE;
}

BOOL CVespraDlg::CanShowHelp() const {
    return m_bUseRegistry && m_bStartupPhase;
}
