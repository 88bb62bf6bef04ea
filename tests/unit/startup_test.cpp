// Start-up: the switch, the single instance, the log-on abort, and the three ways
// the scheduler dialog's initialisation can end.
#include <unistd.h>

#include <filesystem>

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/app.h"
#include "scheduler/scheduler.h"
#include "settings/run_state.h"
#include "system/registry.h"
#include "tests/support/fake_services.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

TEST(Switches, WholeTailIgnoringCase) {
    EXPECT_TRUE(ParseSwitches("/SETTINGS").settings);
    EXPECT_TRUE(ParseSwitches("/Service").service);
    EXPECT_TRUE(ParseSwitches("/logon").logon);
    EXPECT_TRUE(ParseSwitches("/TEST").test);
    EXPECT_TRUE(ParseSwitches("/uninstall").uninstall);
    EXPECT_TRUE(ParseSwitches("/Update").update);
    for (const char *normal : {"/settings ", "/settings x", " /settings", "", "/foo", "settings",
                               "/update "}) {
        StartupFlags f = ParseSwitches(normal);
        EXPECT_FALSE(f.settings || f.test || f.uninstall || f.service || f.logon || f.update)
            << normal;
    }
    // The agent keeps its pipe's name as given, and only a name of ours; with any
    // other it is still an agent (that ends), never a scheduler.
    const std::string name = "\\\\.\\pipe\\Vespra-0123456789ABCDEF0123456789abcdef";
    const struct {
        std::string tail, pipe;
    } agents[] = {{"/agent " + name, name},     {"/AGENT " + name, name}, {"/agent", ""},
                  {"/agent " + name + " x", ""}, {"/agent \\\\.\\pipe\\Vespra", ""}};
    for (const auto &a : agents) {
        EXPECT_TRUE(ParseSwitches(a.tail).agent) << a.tail;
        EXPECT_EQ(a.pipe, ParseSwitches(a.tail).agentPipe) << a.tail;
    }
}

class InitDialogTest : public SchedulerTest {
protected:
    std::string Text(int id) { return dlg.GetDlgItemText(id); }
    CVespraDlg dlg{nullptr, FALSE, TRUE, FALSE};
};

TEST_F(InitDialogTest, StartupCountdownForTheDefaults) {
    EXPECT_FALSE(fake::Open(dlg)); // focus was set to the OK button
    EXPECT_EQ(Text(IDC_MESSAGE), std::string("This computer is scheduled to shut down tonight at "
                                             "11:00") +
                                     NBSP + "PM.\n\n10 seconds left to cancel.");
    fake::Window *w = fake::WindowOf(dlg);
    EXPECT_TRUE(w->visible);
    EXPECT_TRUE(w->topmost);
    EXPECT_EQ(w->focus, IDC_STARTUP_OK);
    EXPECT_EQ(w->timers.at(IDT_SCHEDULER), 1000u);
    EXPECT_EQ(dlg.m_nCountdown, 9);
    EXPECT_TRUE(dlg.m_bStartupPhase);
    // The Settings button sits where the centre OK button is.
    EXPECT_EQ(dlg.GetDlgItemRect(IDC_SETTINGS), dlg.GetDlgItemRect(IDOK));
    EXPECT_TRUE(dlg.IsDlgItemVisible(IDC_SETTINGS));
    EXPECT_FALSE(dlg.IsDlgItemVisible(IDOK));
    // What a second instance reads.
    EXPECT_EQ(fake::GetString(kSettingsKey, "curr_shutdowntime"),
              std::string("tonight at 11:00") + NBSP + "PM");
    EXPECT_TRUE(fake::State().boxes.empty());
}

TEST_F(InitDialogTest, NobodyLoggedOnKeepsTheCountdownHidden) {
    fake::OsState().inputDesktop = "Winlogon";
    EXPECT_FALSE(fake::Open(dlg));
    fake::Window *w = fake::WindowOf(dlg);
    EXPECT_FALSE(w->visible);
    EXPECT_EQ(w->x, 10000);
    EXPECT_EQ(dlg.m_nCountdown, 10); // it waits for a log-on
    EXPECT_EQ(w->timers.at(IDT_SCHEDULER), 1000u);
    EXPECT_NE(Text(IDC_MESSAGE).find("10 seconds left to cancel."), std::string::npos);
}

TEST_F(InitDialogTest, WithoutStartupDialogItWaitsHidden) {
    dlg.m_bWelcome = 0; // what the stores would load; the defaults are written first
    fake::PutString(kSettingsKey, "version", "4.0");
    fake::PutDword(kSettingsKey, "welcome", 0);
    fake::PutDword(kSettingsKey, "restart", 1);
    fake::PutDword(kSettingsKey, "status", 0);
    EXPECT_TRUE(fake::Open(dlg));
    EXPECT_EQ(Text(IDC_MESSAGE),
              std::string("This computer is scheduled to restart tonight at 11:00") + NBSP + "PM.");
    EXPECT_FALSE(fake::WindowOf(dlg)->visible);
    EXPECT_EQ(dlg.m_nCountdown, 0);
    EXPECT_TRUE(dlg.m_bStartupPhase);
    EXPECT_EQ(fake::WindowOf(dlg)->timers.at(IDT_SCHEDULER), 1000u);
}

TEST_F(InitDialogTest, ZeroSecondCountdownNeverBecomesALimitUseCount) {
    fake::PutString(kSettingsKey, "version", "4.0");
    fake::PutDword(kSettingsKey, "welcometime", 0);
    fake::Open(dlg);
    EXPECT_EQ(dlg.m_nCountdown, 0);
}

TEST_F(InitDialogTest, TimerFailureEndsTheDialog) {
    fake::State().failTimers = true;
    fake::Open(dlg);
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, "Internal Error:\n\nSetTimer() failed");
    EXPECT_EQ(fake::State().boxes[0].caption, "Vespra");
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONHAND));
    EXPECT_TRUE(fake::IsEnded(dlg));
    EXPECT_EQ(fake::Result(dlg), IDOK);
}

TEST_F(InitDialogTest, RecentShutdownMovesTheNextDayOn) {
    // Only Tuesday and Thursday: a restart requested at 23:00:10 on Tuesday.
    for (int d = 0; d < kDays; ++d)
        dlg.m_bDay[d] = d == 2 || d == 4;
    auto storeDays = [] { fake::PutString(kSettingsKey, "days", "0 0 1 0 1 0 0"); };
    fake::PutString(kSettingsKey, "version", "4.0");
    storeDays();
    SetNow(2026, 12, 8, 23, 0, 10);
    WriteLastShutdownTime();

    // Today's shut-down was requested: on to the next enabled day, Thursday, never the
    // day after when it is off, nor past an enabled one.
    SetNow(2026, 12, 8, 23, 0, 50);
    fake::Open(dlg);
    EXPECT_EQ(dlg.m_nNextDay, 5);

    CVespraDlg later(nullptr, FALSE, TRUE, FALSE);
    SetNow(2026, 12, 8, 23, 1, 5); // Thursday already
    fake::Open(later);
    EXPECT_EQ(later.m_nNextDay, 5);

    CVespraDlg afterAMinute(nullptr, FALSE, TRUE, FALSE);
    SetNow(2026, 12, 8, 23, 1, 11);
    fake::Open(afterAMinute);
    EXPECT_EQ(afterAMinute.m_nNextDay, 5);
}

TEST_F(InitDialogTest, StopMessageEndsTheSchedulerDialog) {
    CVespraApp app;
    app.m_pSchedulerDlg = &dlg;
    fake::Open(dlg);
    fake::PostThreadMessage(WM_STOP_SCHEDULER);
    EXPECT_TRUE(fake::IsEnded(dlg));
    EXPECT_EQ(fake::Result(dlg), IDOK);
    MSG other{nullptr, WM_USER + 2, 0, 0};
    EXPECT_FALSE(app.PreTranslateMessage(&other));
}

TEST_F(InitDialogTest, SettingsThatWereNotStoredAreNotStarted) {
    CVespraDlg settings(nullptr, TRUE, TRUE, FALSE);
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) {
        fake::Reg().failSet = {"times"}; // after the first start's defaults were stored
        fake::Click(d, IDOK);
    });
    fake::AnswerNextMessageBox(IDYES); // should "Start Vespra now…" be asked after all
    fake::Open(settings);
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, LoadStr(IDS_REG_SETVALUE_FAILED));
    EXPECT_TRUE(fake::IsEnded(settings));
    ASSERT_EQ(fake::Plat().starts.size(), 1u); // the service is stopped, never restarted
    EXPECT_EQ(fake::Plat().starts[0].commandLine, " /stop");
}

TEST_F(InitDialogTest, GetDataRereadsAMissingSeparator) {
    dlg.m_sTimeSep.clear();
    dlg.m_sPassword = "abc";
    dlg.m_bRestart = 1;
    SettingsDlgData data = dlg.GetData();
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, "CVespraDlg::GetData: m_sTimeSep was uninitialized");
    EXPECT_EQ(data.sTimeSep, ":");
    EXPECT_TRUE(data.sPassword.Accepts("abc"));
    EXPECT_EQ(data.bRestart, 1);
}

} // namespace

namespace {

class InitInstanceTest : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        log = fake::UseTempLogFile();
        fake::PutDword(kSettingsKey, "logfile", 1);
    }
    BOOL Start(const char *tail) {
        app.m_lpCmdLine = tail;
        return app.InitInstance();
    }
    bool Logged(const std::string &line) {
        for (const std::string &l : fake::LogLines())
            if (l.size() >= line.size() &&
                l.compare(l.size() - line.size(), line.size(), line) == 0)
                return true;
        return false;
    }
    std::string log;
    CVespraApp app;
};

TEST_F(InitInstanceTest, LogonStartAfterACancelQuitsOnceAndClearsTheFlag) {
    fake::PutDword(kSettingsKey, "already_canceled", 1);
    EXPECT_FALSE(Start("/logon"));
    EXPECT_TRUE(Logged(": Aborting logon start - already canceled"));
    EXPECT_EQ(fake::GetDword(kSettingsKey, "already_canceled"), 0u);
    EXPECT_TRUE(fake::State().modalRuns.empty());
    EXPECT_TRUE(fake::Plat().starts.empty());
    EXPECT_FALSE(fake::HasValue(kSettingsKey, "curr_settings")); // no dialog was constructed

    // The next log-on start runs: on NT it hands over to the service.
    fake::Svc().installed = true;
    EXPECT_FALSE(Start("/logon"));
    EXPECT_TRUE(Logged(": Main app restarting as service"));
    ASSERT_EQ(fake::Plat().starts.size(), 1u);
    EXPECT_EQ(fake::Plat().starts[0].commandLine, " /start");
    EXPECT_TRUE(fake::State().modalRuns.empty());
}

// A cancel holds for the run of Windows it was made in; after a boot or a resume from
// hibernation (a fast start-up) the log-on start starts the service again.
TEST_F(InitInstanceTest, ACancelLastsForThisRunOfWindows) {
    const long kHour = 3600;
    const struct {
        const char *name;
        void (*then)();
        bool holds;
    } cases[] = {
        {"a log-on later in the same run", [] { fake::AdvanceClock(2 * kHour); }, true},
        {"a short sleep", [] { fake::Suspend(30); }, true},
        {"a clock set by an hour", [] { fake::SetNow(fake::Now() + kHour); }, false},
        {"a restart of Windows", [] { fake::BootWindows(60); fake::AdvanceClock(5 * 60); }, false},
        {"... with more uptime than at the cancel", [] { fake::BootWindows(60); fake::AdvanceClock(3 * kHour); }, false},
        {"a fast start-up: a hibernation overnight", [] { fake::Suspend(9 * kHour); }, false},
        {"... before Windows 7, where it can't be told", [] {
             fake::SetAwakeCounterKnown(false);
             fake::Suspend(9 * kHour);
         }, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fake::Svc().installed = true;
        fake::SetCounterMs(kHour * 1000);
        WriteCancel();
        c.then();
        for (int start = 0; start < 2; ++start) // and again: it lasts, it isn't used up
            EXPECT_FALSE(Start("/logon"));
        EXPECT_EQ(Logged(": Aborting logon start - already canceled"), c.holds);
        EXPECT_EQ(fake::Plat().starts.size(), c.holds ? 0u : 2u);
        EXPECT_EQ(fake::GetDword(kSettingsKey, "already_canceled"), c.holds ? 1u : 0u);
    }
}

TEST_F(InitInstanceTest, ServiceStartRunsTheScheduler) {
    fake::PutDword(kSettingsKey, "already_canceled", 1);
    fake::PutDword(kSettingsKey, "curr_settings", 1);
    EXPECT_FALSE(Start("/SERVICE"));
    EXPECT_EQ(fake::State().modalRuns, std::vector<UINT>{IDD_VESPRA_DIALOG});
    EXPECT_TRUE(Logged(": >>>>>> Starting main app"));
    EXPECT_TRUE(Logged(": <<<<<< Exiting main app"));
    EXPECT_EQ(fake::GetDword(kSettingsKey, "already_canceled"), 0u);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_settings"), 0u);
    EXPECT_TRUE(fake::OsState().mutexSecured); // NT: the mutex gets its DACL
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(app.m_pSchedulerDlg, nullptr);
}

TEST_F(InitInstanceTest, PlainStartOnWindows9xSchedulesItself) {
    fake::Plat().platformId = 1;
    Start("");
    EXPECT_EQ(fake::State().modalRuns, std::vector<UINT>{IDD_VESPRA_DIALOG});
    EXPECT_FALSE(fake::OsState().mutexSecured);
    EXPECT_TRUE(fake::Plat().starts.empty());
    ASSERT_FALSE(fake::Plat().registerServiceProcessCalls.empty());
    EXPECT_EQ(fake::Plat().registerServiceProcessCalls[0], 1u);
}

TEST_F(InitInstanceTest, NetworkClientOnNtSchedulesItself) {
    fake::Files().onSearchPath.insert("vespra.ini");
    EXPECT_TRUE(IsNetworkClient());
    Start("");
    EXPECT_EQ(fake::State().modalRuns, std::vector<UINT>{IDD_VESPRA_DIALOG});
    EXPECT_TRUE(fake::Plat().starts.empty());
    // Settings of its own in the registry make it an ordinary machine.
    fake::PutDword(kSettingsKey, "status", 1);
    EXPECT_FALSE(IsNetworkClient());
}

TEST_F(InitInstanceTest, SecondInstanceLeavesTheRunningOneAlone) {
    fake::OsState().mutexExists = true;
    fake::PutDword(kSettingsKey, "curr_settings", 1);
    Start("/logon");
    EXPECT_TRUE(fake::State().modalRuns.empty());
    EXPECT_TRUE(fake::State().boxes.empty());
    EXPECT_TRUE(fake::Plat().starts.empty());
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_settings"), 1u); // not reset by a second start
}

TEST_F(InitInstanceTest, UnknownSwitchIsANormalStart) {
    Start("/bogus");
    EXPECT_TRUE(Logged(": Main app restarting as service"));
}

TEST_F(InitInstanceTest, FailedMutexCountsAsFirstInstance) {
    fake::OsState().mutexFails = true;
    Start("/service");
    EXPECT_EQ(fake::State().modalRuns, std::vector<UINT>{IDD_VESPRA_DIALOG});
}

} // namespace

namespace {

class NetworkClientTest : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        // GetIniPath lower-cases the program's path, so the folder must be lower case.
        dir = "/tmp/vespra-client-" + std::to_string(getpid());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        fake::Files().programPath = dir + "\\vespra.exe";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
};

TEST_F(NetworkClientTest, SharedSettingsRunWithoutTheSettingsButton) {
    fake::WriteFile(dir + "/vespra.ini", "[Vespra]\r\nshutdown=1\r\n");
    CVespraDlg dlg(nullptr, FALSE, TRUE, FALSE);
    fake::Open(dlg);
    EXPECT_FALSE(dlg.m_bUseRegistry);
    EXPECT_FALSE(dlg.IsDlgItemVisible(IDC_SETTINGS));
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_FALSE(fake::IsEnded(dlg));
    EXPECT_FALSE(fake::HasValue(kSettingsKey, "version")); // nothing copied to the registry
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_useregistry"), 0u);
}

TEST_F(NetworkClientTest, SharedSettingsThatSayOffScheduleNothing) {
    fake::WriteFile(dir + "/vespra.ini", "[Vespra]\r\nshutdown=0\r\nrestart=0\r\n");
    CVespraDlg dlg(nullptr, FALSE, TRUE, FALSE);
    fake::Open(dlg);
    EXPECT_TRUE(fake::IsEnded(dlg));
    EXPECT_EQ(fake::Result(dlg), IDOK);
    ASSERT_EQ(fake::Plat().starts.size(), 1u); // the service is stopped
    EXPECT_EQ(fake::Plat().starts[0].commandLine, " /stop");
    EXPECT_TRUE(fake::WindowOf(dlg)->timers.empty());
}

TEST_F(NetworkClientTest, FirstStartWithNoStoreWritesTheDefaults) {
    CVespraDlg dlg(nullptr, FALSE, TRUE, FALSE);
    fake::Open(dlg);
    EXPECT_TRUE(dlg.m_bUseRegistry);
    EXPECT_EQ(fake::GetString(kSettingsKey, "version"), "4.0");
    EXPECT_EQ(fake::GetString(kSettingsKey, "days"), "1 1 1 1 1 0 0");
    EXPECT_TRUE(dlg.IsDlgItemVisible(IDC_SETTINGS));
}

} // namespace
