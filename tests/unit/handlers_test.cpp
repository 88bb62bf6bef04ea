// The startup dialog's buttons, the end of a session and the dialog's end, and the
// short modes of a start that doesn't schedule: driven through the in-memory
// backend with scripted nested dialogs.
#include <algorithm>
#include <memory>

#include "framework/text.h"
#include "resources/resource.h"
#include "session/agent.h"
#include "scheduler/app.h"
#include "scheduler/scheduler.h"
#include "settings/run_state.h"
#include "ui/function_test_dlg.h"
#include "system/platform.h"
#include "settings/password_tries.h"
#include "system/registry.h"
#include "tests/support/fake_agent.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_files.h"
#include "ui/password_dlg.h"
#include "tests/support/fake_processes.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

class HandlersTest : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        fake::UseTempLogFile();
        fake::PutDword(kSettingsKey, "logfile", 1);
        dlg = std::make_unique<CVespraDlg>(nullptr, FALSE, FALSE, FALSE);
    }
    void Start(BOOL serviceMode = FALSE) {
        dlg->m_bServiceMode = serviceMode;
        dlg->WriteRegistry();
        fake::Open(*dlg);
    }
    // The next password prompt gets this typed and OK pressed.
    static void TypePassword(const std::string &text) {
        fake::RespondToDialog(IDD_ENTER_PASSWORD, [text](CDialog &d) {
            fake::Type(d, IDC_ENTERED_PASSWORD, text);
            fake::Click(d, IDOK);
        });
    }
    static bool Logged(const std::string &text) {
        const auto lines = fake::LogLines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string &l) {
            return l.size() >= text.size() &&
                   l.compare(l.size() - text.size(), text.size(), text) == 0;
        });
    }
    static std::vector<UINT> Modals() { return fake::State().modalRuns; }
    static bool Ran(UINT templateId) {
        const auto runs = Modals();
        return std::find(runs.begin(), runs.end(), templateId) != runs.end();
    }
    static bool StoppedService() {
        for (const fake::ProcessStart &s : fake::Plat().starts)
            if (s.commandLine == " /stop")
                return true;
        return false;
    }
    std::unique_ptr<CVespraDlg> dlg;
};

TEST_F(HandlersTest, CancelEndsTheRunAndIsRemembered) {
    for (const BOOL service : {FALSE, TRUE}) {
        SCOPED_TRACE(service ? "service mode" : "plain");
        SetUp();
        fake::UseEventLog();
        fake::Sess().console = fake::UserAt(3, "anna");
        Start(service);
        ASSERT_TRUE(fake::Click(*dlg, IDCANCEL));
        EXPECT_EQ(fake::GetDword(kSettingsKey, "already_canceled"), 1u);
        EXPECT_TRUE(Logged("Main app canceled by user"));
        EXPECT_EQ(fake::Reported(event_id::kUserCancelled),
                  (std::vector<std::vector<std::string>>{{"anna", "3"}}));
        // In service mode the service host ends the program; until then it idles.
        EXPECT_EQ(fake::IsEnded(*dlg), !service);
        EXPECT_EQ(StoppedService(), bool(service));
        EXPECT_EQ(fake::WindowOf(*dlg)->timers.count(IDT_SCHEDULER), 0u);
    }
}

TEST_F(HandlersTest, AWrongPasswordCancelsNothing) {
    for (const char *typed : {"", "wrong", "SECRET"}) {
        SCOPED_TRACE(typed);
        SetUp();
        fake::UseEventLog();
        dlg->m_sPassword = "secret";
        Start();
        TypePassword(typed);
        fake::RespondToDialog(IDD_TIMED_MESSAGE, [](CDialog &d) { fake::Click(d, IDOK); });
        ASSERT_TRUE(fake::Click(*dlg, IDCANCEL));
        EXPECT_FALSE(fake::IsEnded(*dlg));
        // Nothing typed is no password tried.
        EXPECT_EQ(fake::Reported(event_id::kWrongPassword),
                  (std::vector<std::vector<std::string>>(*typed ? 1 : 0, {"cancel the scheduled action"})));
        EXPECT_EQ(Ran(IDD_TIMED_MESSAGE), *typed != '\0');
        EXPECT_TRUE(Logged("Can't cancel main app - password is wrong"));
        EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 1000u);
        EXPECT_TRUE(dlg->IsWindowVisible());
        EXPECT_EQ(fake::GetDword(kSettingsKey, "already_canceled"), 0u);
    }
    SetUp();
    dlg->m_sPassword = "secret";
    Start();
    TypePassword("secret");
    fake::Click(*dlg, IDCANCEL);
    EXPECT_TRUE(fake::IsEnded(*dlg));
}

TEST_F(HandlersTest, EscapeAfterTheCountdownOnlyPutsTheNoticeAway) {
    Start();
    fake::Click(*dlg, IDC_STARTUP_OK);
    EXPECT_FALSE(dlg->m_bStartupPhase);
    dlg->ShowOnTop(); // as the warning would
    dlg->OnCancel();  // Escape, Alt+F4
    EXPECT_FALSE(fake::IsEnded(*dlg));
    EXPECT_FALSE(dlg->IsWindowVisible());
    EXPECT_EQ(fake::GetDword(kSettingsKey, "already_canceled"), 0u);
    EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 20000u);
    // Enter on the hidden startup OK of a notice ends no countdown.
    dlg->m_nCountdown = -3;
    dlg->OnStartupOK();
    EXPECT_EQ(dlg->m_nCountdown, -3);
}

TEST_F(HandlersTest, SettingsFromTheStartupDialog) {
    // A wrong password: message 45 only when something was typed; the countdown goes
    // on. Nobody can hold it up: the prompt left alone closes itself (nullptr), and so
    // does the box.
    for (const char *typed : {"", "nope", static_cast<const char *>(nullptr)}) {
        SetUp();
        dlg->m_sPassword = "secret";
        Start();
        if (typed)
            TypePassword(typed);
        else
            fake::RespondToDialog(IDD_ENTER_PASSWORD,
                                  [](CDialog &d) { fake::FireTimer(d, IDT_ENTER_PASSWORD); });
        fake::AnswerNextMessageBox(fake::kLeftAlone);
        fake::Click(*dlg, IDC_SETTINGS);
        EXPECT_FALSE(Ran(IDD_SETTINGS_DIALOG));
        const bool wrong = typed && *typed;
        ASSERT_EQ(fake::State().boxes.size(), wrong ? 1u : 0u);
        if (wrong) {
            EXPECT_EQ(fake::State().boxes[0].type, MB_ICONHAND);
            EXPECT_EQ(fake::State().boxes[0].timeLimitMs, kUnansweredBoxMs);
        }
        EXPECT_EQ(Logged("Can't show settings - password is wrong"), wrong);
        EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 1000u);
    }
    // Cancelled: nothing stored, the countdown starts again from the full time.
    SetUp();
    Start();
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) { fake::Click(d, IDCANCEL); });
    fake::SetNow(fake::Now() + 5);
    fake::Click(*dlg, IDC_SETTINGS);
    EXPECT_EQ(dlg->m_nCountdown, 9);
    EXPECT_NE(dlg->GetDlgItemText(IDC_MESSAGE).find("10 seconds left"), std::string::npos);
    EXPECT_TRUE(fake::WindowOf(*dlg)->topmost);
    // Alt held at OK: the INI file is written, the registry is not. Without the
    // startup dialog: message 31, then the waiting state.
    SetUp();
    dlg->m_bWelcome = 0;
    Start();
    const std::string dir = fake::MakeTempDir();
    fake::Files().programPath = dir + "/vespra.exe";
    fake::PutDword(kSettingsKey, "welcome", 7); // what a registry write would overwrite
    fake::State().altDown = true;
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) { fake::Click(d, IDOK); });
    fake::Click(*dlg, IDC_SETTINGS);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "welcome"), 7u);
    ASSERT_EQ(fake::State().boxes.size(), 2u); // the INI writer's notice, then 31
    EXPECT_EQ(fake::State().boxes[0].text.rfind(LoadStr(IDS_NETWORK_SAVED).substr(0, 40), 0), 0u);
    EXPECT_EQ(fake::State().boxes.back().text,
              std::string("This computer is scheduled to shut down tonight at 11:00") + NBSP +
                  "PM.");
    EXPECT_FALSE(dlg->m_bStartupPhase);
    EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 20000u);
    // Turned Off: the run ends, and the service with it.
    SetUp();
    Start(TRUE);
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) {
        fake::Click(d, IDC_OFF);
        fake::Click(d, IDOK);
    });
    fake::Click(*dlg, IDC_SETTINGS);
    EXPECT_TRUE(fake::IsEnded(*dlg));
    EXPECT_TRUE(StoppedService());
    EXPECT_EQ(fake::GetDword(kSettingsKey, "status"), 0u);
}

TEST(PasswordTriesTest, EachWrongTryFromTheThirdDoublesTheWait) {
    const struct {
        DWORD count;
        long sinceLast; // seconds from the last wrong try to now
        DWORD wait;
    } cases[] = {
        {0, 0, 0},   {2, 0, 0},    {3, 0, 2},     {3, 1, 1},     {3, 2, 0},
        {4, 0, 4},   {5, 3, 5},    {10, 0, 256},  {11, 0, 300},  {11, 299, 1},
        {11, 300, 0}, {1000, 0, 300}, {0xFFFFFFFF, 0, 300},
        {3, -3600, 2}, // the clock set back: the wait is counted from now
    };
    const DWORD now = 1800000000u;
    for (const auto &c : cases)
        EXPECT_EQ(c.wait, PasswordWaitSeconds({c.count, DWORD(long(now) - c.sinceLast)}, now))
            << c.count << " wrong, " << c.sinceLast << " s ago";
}

// Three wrong passwords at the settings, then a wait at the cancel too, kept across a
// restart of the scheduler; the right one clears the count.
TEST_F(HandlersTest, WrongPasswordsInARowMakeTheNextTryWait) {
    auto restart = [this] {
        dlg = std::make_unique<CVespraDlg>(nullptr, FALSE, FALSE, FALSE);
        dlg->m_sPassword = "secret";
        Start();
        fake::State().boxes.clear();
        fake::State().modalRuns.clear();
    };
    auto waitText = [](DWORD s) { return FormatText(LoadStr(IDS_PASSWORD_WAIT), std::to_string(s)); };
    restart();
    for (int i = 0; i < 3; ++i) {
        TypePassword("guess");
        fake::Click(*dlg, IDC_SETTINGS);
        fake::AdvanceClock(1);
    }
    EXPECT_EQ(fake::GetDword(kSettingsKey, "lock_wrong"), 3u);
    fake::State().modalRuns.clear();
    fake::Click(*dlg, IDC_SETTINGS); // 1 s after the third: 1 s to go, and no prompt
    EXPECT_FALSE(Ran(IDD_ENTER_PASSWORD));
    ASSERT_EQ(fake::State().boxes.size(), 4u);
    EXPECT_EQ(fake::State().boxes.back().text, waitText(1));
    fake::AdvanceClock(1);
    TypePassword("guess"); // the fourth: 4 s
    fake::Click(*dlg, IDC_SETTINGS);
    EXPECT_TRUE(Ran(IDD_ENTER_PASSWORD));

    restart();
    fake::AdvanceClock(3);
    fake::Click(*dlg, IDCANCEL);
    EXPECT_FALSE(Ran(IDD_ENTER_PASSWORD));
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, waitText(1));
    fake::AdvanceClock(1);
    TypePassword("secret");
    fake::Click(*dlg, IDCANCEL);
    EXPECT_TRUE(fake::IsEnded(*dlg));
    EXPECT_EQ(fake::GetDword(kSettingsKey, "lock_wrong"), 0u);
}

// Settings... at the countdown: inside the scheduler in the first world or with the
// password; in session 0 mode without one, started by the agent as the user.
TEST_F(HandlersTest, TheSettingsPathByWorldAndPassword) {
    const struct {
        bool sessionZero, password, agent, prompt, settings;
        int agentStarts;
    } cases[] = {{false, false, true, false, true, 0}, {false, true, true, true, true, 0},
                 {true, true, true, true, true, 0},    {true, false, true, false, false, 1},
                 {true, false, false, false, false, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(&c - cases);
        SetUp();
        fake::ResetAgentHost();
        fake::Host().agentConnected = c.agent;
        if (c.sessionZero) {
            fake::Sess().world = {true, false, true, 0, 1};
            fake::Sess().console = fake::UserAt(1, "kid");
            ASSERT_TRUE(StartSessionZeroMode());
        }
        if (c.password)
            dlg->m_sPassword = "secret";
        Start(TRUE);
        TypePassword("secret");
        fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) { fake::Click(d, IDCANCEL); });
        fake::Click(*dlg, IDC_SETTINGS);
        EXPECT_EQ(Ran(IDD_ENTER_PASSWORD), c.prompt);
        EXPECT_EQ(Ran(IDD_SETTINGS_DIALOG), c.settings);
        EXPECT_EQ(fake::Host().settingsStarts, c.agentStarts);
        EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 1000u);
        StopSessionZeroMode();
    }
}

TEST_F(HandlersTest, ALogOffWaitsForTheNextUserUnlessSomethingIsUnderWay) {
    Start();
    dlg->OnEndSession(FALSE, LPARAM(ENDSESSION_LOGOFF)); // refused: the user stays
    EXPECT_FALSE(dlg->m_bLogoffPending);
    EXPECT_TRUE(dlg->IsWindowVisible() && dlg->m_bStartupPhase);
    fake::Click(*dlg, IDC_STARTUP_OK);
    dlg->OnEndSession(TRUE, LPARAM(ENDSESSION_LOGOFF));
    EXPECT_TRUE(dlg->m_bLogoffPending);
    EXPECT_FALSE(dlg->m_bUserLoggedOn);
    EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 1000u);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_MESSAGE),
              std::string("This computer is scheduled to shut down tonight at 11:00") + NBSP +
                  "PM.");
    EXPECT_TRUE(Logged("User logged off"));

    SetUp();
    Start();
    dlg->m_nCountdown = -7; // a limit-use countdown goes on
    dlg->OnEndSession(TRUE, LPARAM(ENDSESSION_LOGOFF));
    EXPECT_FALSE(dlg->m_bLogoffPending);
    EXPECT_EQ(dlg->m_nCountdown, -7);
    EXPECT_FALSE(fake::IsEnded(*dlg));

    SetUp();
    Start();
    dlg->m_bUseRegistry = FALSE; // a network client ends with the session
    dlg->OnEndSession(TRUE, 0);
    EXPECT_TRUE(fake::IsEnded(*dlg));
    EXPECT_TRUE(Logged("Windows is shutting down/restarting"));
}

TEST_F(HandlersTest, TheEndQuitsHelpAndStopsTheService) {
    CVespraApp app;
    Start(TRUE);
    dlg->OnHelpInfo();
    fake::Close(*dlg);
    const auto &help = fake::State().helpCalls;
    ASSERT_EQ(help.size(), 2u);
    EXPECT_EQ(help[0], std::make_pair(DWORD(0x200CB), UINT(HELP_CONTEXT)));
    EXPECT_EQ(help[1], std::make_pair(DWORD(0), UINT(HELP_QUIT)));
    EXPECT_TRUE(StoppedService());
}

TEST_F(HandlersTest, TheServicesOwnStopIsNotAnsweredWithAnother) {
    CVespraApp app;
    app.m_pSchedulerDlg = dlg.get();
    Start(TRUE);
    fake::PostThreadMessage(WM_STOP_SCHEDULER);
    fake::Close(*dlg);
    EXPECT_FALSE(StoppedService());
}

TEST_F(HandlersTest, ARestartForNewSettingsIsNotUndoneByTheEndOfThisRun) {
    dlg = std::make_unique<CVespraDlg>(nullptr, TRUE, TRUE, FALSE); // "/settings" in service mode
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) { fake::Click(d, IDOK); });
    fake::AnswerNextMessageBox(IDYES); // start now with these settings
    fake::Open(*dlg);
    fake::Close(*dlg);
    ASSERT_EQ(fake::Plat().starts.size(), 1u);
    EXPECT_EQ(fake::Plat().starts[0].commandLine, " /restart");
}

// The uninstall pre-check kills the uninstaller before it refuses.
TEST_F(HandlersTest, UninstallIsRefusedWhileActiveOrProtected) {
    struct Case {
        BOOL running;
        const char *password;
        UINT message; // 0: allowed
    };
    const Case cases[] = {{TRUE, "", IDS_UNINSTALL_ACTIVE},
                          {FALSE, "secret", IDS_UNINSTALL_PROTECTED},
                          {FALSE, "", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        SetUp();
        dlg->m_sPassword = c.password;
        dlg->WriteRegistry();
        fake::AddProcess(7, "C:\\Temp\\unins000.exe");
        fake::AddProcess(8, "C:\\Temp\\is-1abcd.tmp");
        fake::AddProcess(9, "C:\\Program Files\\Vespra\\vespra.exe");
        CVespraApp app;
        app.m_pSchedulerDlg = dlg.get();
        EXPECT_EQ(app.RunUninstallCheck(c.running), c.message == 0);
        if (c.message) {
            ASSERT_EQ(fake::State().boxes.size(), 1u);
            EXPECT_EQ(fake::State().boxes[0].text, LoadStr(c.message));
            EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION));
            EXPECT_EQ(fake::Procs().terminatedPids, (std::vector<DWORD>{7, 8}));
        } else {
            EXPECT_TRUE(fake::State().boxes.empty());
            EXPECT_TRUE(fake::Procs().terminatedPids.empty());
        }
    }
}

// A second instance answers from what the running scheduler published.
TEST_F(HandlersTest, ASecondInstanceAnswersFromTheRunState) {
    struct Case {
        DWORD settingsOpen, useRegistry;
        std::string text;
        BOOL settingsSwitch;
        std::string message; // empty: only a beep
        UINT icon;
    };
    const std::string tonight = std::string("tonight at 11:00") + NBSP + "PM";
    const Case cases[] = {
        {1, 1, "tonight", FALSE, "", 0},
        {0, 1, "", FALSE, "", 0},
        {0, 1, LoadStr(IDS_PENDING), TRUE, LoadStr(IDS_PENDING), MB_ICONEXCLAMATION},
        {0, 1, tonight, FALSE, "This computer is scheduled to shut down " + tonight + ".",
         MB_ICONINFORMATION},
        {0, 0, tonight, TRUE, "This computer is scheduled to shut down " + tonight + ".",
         MB_ICONINFORMATION},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        SetUp();
        WriteStatusValue("curr_settings", c.settingsOpen);
        WriteStatusValue("curr_useregistry", c.useRegistry);
        WriteCurrShutdownTime(c.text);
        CVespraApp app;
        app.m_pSchedulerDlg = dlg.get();
        app.RunSecondInstance(c.settingsSwitch);
        EXPECT_FALSE(Ran(IDD_SETTINGS_DIALOG));
        if (c.message.empty()) {
            EXPECT_TRUE(fake::State().boxes.empty());
            ASSERT_EQ(fake::Plat().beeps.size(), 1u);
            EXPECT_EQ(fake::Plat().beeps[0].type, 0u);
        } else {
            ASSERT_EQ(fake::State().boxes.size(), 1u);
            EXPECT_EQ(fake::State().boxes[0].text, c.message);
            EXPECT_EQ(fake::State().boxes[0].type, c.icon);
        }
    }
}

TEST_F(HandlersTest, ASecondSettingsInstanceStoresForTheNextStart) {
    WriteStatusValue("curr_useregistry", 1);
    WriteCurrShutdownTime("tonight at 11:00 PM");
    dlg->m_sPassword = "secret";
    dlg->WriteRegistry();
    CVespraApp app;
    app.m_pSchedulerDlg = dlg.get();
    TypePassword("secret");
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) {
        fake::Click(d, IDC_RESTART);
        fake::Click(d, IDOK);
    });
    app.RunSecondInstance(TRUE);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "restart"), 1u);
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, LoadStr(IDS_NEXT_START));
}

class FunctionTestDlgTest : public HandlersTest {};

TEST_F(FunctionTestDlgTest, ShowsThePlatformAndKeepsTheSwitches) {
    // The 95/98/Me family and XP have no bcrypt.dll: the line says so.
    const std::pair<DWORD, bool> cases[] = {{2, false}, {2, true}, {1, true}};
    for (const auto &[platform, noCrypto] : cases) {
        SetUp();
        fake::Plat().platformId = platform;
        fake::Plat().passwordCryptoMissing = noCrypto;
        ForgetPlatformFamily();
        fake::PutDword(kSettingsKey, "beep", 1);
        fake::Reg().keys[ToLower(kSettingsKey)].values.erase("logfile");
        CFunctionTestDlg test(nullptr);
        EXPECT_TRUE(fake::Open(test));
        EXPECT_EQ(test.GetDlgItemText(IDC_TEST_PLATFORM),
                  std::string(platform == 2 ? "Windows NT/2000/XP" : "Windows 95/98/Me") +
                      (noCrypto ? " (no password hash)" : ""));
        EXPECT_EQ(test.IsDlgItemEnabled(IDC_TEST_ENABLE_CPL), platform == 1);
        EXPECT_EQ(test.IsDlgItemEnabled(IDC_TEST_DISABLE_REGPGMS), platform == 1);
        EXPECT_EQ(test.IsDlgButtonChecked(IDC_TEST_BEEP), 1u);
        EXPECT_EQ(test.IsDlgButtonChecked(IDC_TEST_LOGFILE), 0u);
        fake::Click(test, IDC_TEST_BEEP);
        fake::Click(test, IDCANCEL); // Escape stores nothing
        EXPECT_EQ(fake::GetDword(kSettingsKey, "beep"), 1u);
        EXPECT_FALSE(fake::HasValue(kSettingsKey, "logfile"));
    }
    CFunctionTestDlg test(nullptr);
    fake::Open(test);
    CVespraApp app; // help is the application's
    fake::Click(test, IDC_TEST_LOGFILE);
    fake::Click(test, IDOK);
    fake::Close(test);
    EXPECT_EQ(fake::State().helpCalls.back(), std::make_pair(DWORD(0), UINT(HELP_QUIT)));
    EXPECT_EQ(fake::GetDword(kSettingsKey, "logfile"), 1u);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "beep"), 1u);

    // A log the policy switches off shows so, greyed, and OK keeps the stored switch.
    fake::PutDword("SOFTWARE\\Policies\\Vespra", "logfile", 0);
    CFunctionTestDlg managed(nullptr);
    fake::Open(managed);
    EXPECT_EQ(managed.IsDlgButtonChecked(IDC_TEST_LOGFILE), 0u);
    EXPECT_FALSE(managed.IsDlgItemEnabled(IDC_TEST_LOGFILE));
    fake::Click(managed, IDOK);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "logfile"), 1u);
}

TEST_F(FunctionTestDlgTest, TheShutdownButtonsAskWindowsWithTheirFlags) {
    CFunctionTestDlg test(nullptr);
    fake::Open(test);
    for (int id : {IDC_TEST_NORMAL_SHUTDOWN, IDC_TEST_NORMAL_RESTART, IDC_TEST_FORCED_SHUTDOWN,
                   IDC_TEST_FORCED_RESTART})
        fake::Click(test, id);
    EXPECT_EQ(fake::Plat().exitWindowsCalls, (std::vector<UINT>{0x09, 0x02, 0x0D, 0x06}));
    fake::AddProcess(5, "C:\\WINNT\\system32\\cmd.exe");
    fake::Click(test, IDC_TEST_KILL_DOS); // whatever the setting, and no log line
    EXPECT_EQ(fake::Procs().terminatedPids, (std::vector<DWORD>{5}));
    EXPECT_TRUE(fake::LogLines().empty());
}

} // namespace
