// The scheduler's timer in simulated time: the warning, the polite and the forced
// requests, the clock-change guard, limit use, and the log-off states. Days of
// 20-second ticks run through the real OnTimer in milliseconds.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "framework/clock.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "session/agent.h"
#include "scheduler/scheduler.h"
#include "settings/policy.h"
#include "settings/run_state.h"
#include "system/event_log.h"
#include "system/platform.h"
#include "system/registry.h"
#include "tests/support/fake_agent.h"
#include "tests/support/fake_processes.h"
#include "tests/support/fake_session.h"
#include "tests/unit/scheduler_fixture.h"
#include "tests/unit/zone_data.h"
#include "ui/settings_dlg.h"

namespace {

// The polite requests carry EWX_FORCEIFHUNG (0x10) on NT.
constexpr UINT kPoliteShutdown = 0x19, kForcedShutdown = 0x0D;
constexpr UINT kPoliteRestart = 0x12, kForcedRestart = 0x06;

struct Request {
    time_t at; // wall-clock time of the tick that made it
    UINT flags;
};

class TimerTest : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        fake::UseTempLogFile();
        fake::PutDword(kSettingsKey, "logfile", 1);
        dlg = std::make_unique<CVespraDlg>(nullptr, FALSE, TRUE, FALSE);
        requests.clear();
        warnedAt = 0;
        m_due.clear();
        m_uptime = 0;
    }
    // A fresh scheduler and stand-ins, for each case of a table.
    void Fresh() { SetUp(); }

    // Opens the scheduler with the settings set on dlg, stored as the registry holds them.
    void Start() {
        dlg->WriteRegistry();
        fake::Open(*dlg);
    }

    static void LogOn(bool on) { fake::OsState().inputDesktop = on ? "Default" : "Winlogon"; }

    // Runs the dialog's timers for the given seconds of the machine's uptime, each at
    // its own interval; a timer set again starts its interval afresh. The wall clock
    // moves with them unless a test jumps it.
    void Run(long seconds) {
        const long end = m_uptime + seconds;
        for (;;) {
            fake::Window *w = fake::WindowOf(*dlg);
            if (!w || w->ended)
                break;
            for (auto it = m_due.begin(); it != m_due.end();)
                it = w->timers.count(it->first) ? std::next(it) : m_due.erase(it);
            for (const auto &[id, ms] : w->timers) {
                auto it = m_due.find(id);
                if (it == m_due.end() || it->second.interval != ms)
                    m_due[id] = {ms, m_uptime + long(ms / 1000)};
            }
            auto next = std::min_element(m_due.begin(), m_due.end(), [](auto &a, auto &b) {
                return a.second.at < b.second.at;
            });
            if (next == m_due.end() || next->second.at > end)
                break;
            fake::AdvanceClock(next->second.at - m_uptime);
            m_uptime = next->second.at;
            next->second.at += long(next->second.interval / 1000);
            const size_t before = Calls().size();
            fake::FireTimer(*dlg, next->first);
            for (size_t i = before; i < Calls().size(); ++i)
                requests.push_back({fake::Now(), Calls()[i]});
            if (dlg->m_bActionPending && !warnedAt)
                warnedAt = fake::Now();
        }
        fake::AdvanceClock(end - m_uptime);
        m_uptime = end;
    }

    void RunUntil(time_t wall) { Run(long(wall - fake::Now())); }

    // A fresh scheduler on a machine set to Tokyo, every day at h:m of the stored zone.
    void StartInTokyo(const char *stored, bool known, time_t now, int h, int m) {
        Fresh();
        UseTimeZone("Asia/Tokyo");
        fake::OsState().timeZone = "Tokyo Standard Time";
        fake::SetNow(now);
        if (known)
            PutEasternZone();
        dlg = std::make_unique<CVespraDlg>(nullptr, FALSE, TRUE, FALSE);
        for (int d = 0; d < kDays; ++d)
            std::tie(dlg->m_nHour[d], dlg->m_nMinute[d], dlg->m_bDay[d]) = std::make_tuple(h, m, 1);
        dlg->m_sTimeZone = stored;
        Start();
    }

    // The clock is set: wall time leaps, real time doesn't, no timer fires.
    static void Jump(long seconds) { fake::SetNow(fake::Now() + seconds); }
    // The machine sleeps: wall time and real time leap together, no timer fires.
    static void Sleep(long seconds) { fake::Suspend(seconds); }

    std::vector<Request> Polite() const {
        std::vector<Request> r;
        for (const Request &q : requests)
            if (!(q.flags & EWX_FORCE))
                r.push_back(q);
        return r;
    }
    bool Logged(const std::string &text) const {
        for (const std::string &line : fake::LogLines())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
    static std::vector<UINT> &Calls() { return fake::Plat().exitWindowsCalls; }
    std::string Message() const { return dlg->GetDlgItemText(IDC_MESSAGE); }

    std::unique_ptr<CVespraDlg> dlg;
    std::vector<Request> requests;
    time_t warnedAt = 0;

private:
    struct Due {
        UINT interval;
        long at;
    };
    std::map<UINT_PTR, Due> m_due;
    long m_uptime = 0;
};

// Tuesday 8 December 2026 at h:m:s.
time_t Tue(int h, int m, int s = 0) {
    return LocalTime(2026, 12, 8, h, m, s);
}

TEST_F(TimerTest, WarnsThenRequestsThenForces) {
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "restart" : "shut down");
        Fresh();
        dlg->m_bRestart = restart;
        SetNow(2026, 12, 8, 22, 50, 7);
        Start();
        Run(9 * 60);
        ASSERT_TRUE(warnedAt) << "no warning";
        EXPECT_GE(warnedAt, Tue(22, 55));
        EXPECT_LT(warnedAt, Tue(22, 55, 20));
        EXPECT_EQ(
            Message(),
            std::string(restart ? "This computer will restart" : "This computer will shut down") +
                " in 5 minutes, at 11:00" + NBSP + "PM.\n\nPlease save your work now.");
        EXPECT_TRUE(dlg->IsWindowVisible());
        EXPECT_EQ(fake::GetString(kSettingsKey, "curr_shutdowntime"),
                  LoadStr(restart ? IDS_PENDING_RESTART : IDS_PENDING));
        dlg->OnOK(); // dismissing the warning changes nothing
        EXPECT_FALSE(dlg->IsWindowVisible());

        RunUntil(Tue(23, 0, 20));
        ASSERT_EQ(requests.size(), 1u);
        const time_t t = requests[0].at;
        EXPECT_GE(t, Tue(23, 0));
        EXPECT_LT(t, Tue(23, 0, 20));
        EXPECT_EQ(requests[0].flags, restart ? kPoliteRestart : kPoliteShutdown);
        EXPECT_EQ(Message(), restart ? "Restarting..." : "Shutting down...");
        CTime last;
        ReadLastShutdownTime(last);
        EXPECT_EQ(last.GetTime(), t);

        // Refused: the forcing message at T + 80 s, the forced request at T + 140 s.
        RunUntil(t + 79);
        EXPECT_EQ(Message().find("Forcing"), std::string::npos);
        Run(1);
        EXPECT_EQ(Message(), std::string("Forcing ") + (restart ? "restart" : "shut down") +
                                 " in one minute.\n\nSave your work now or it will be lost!");
        RunUntil(t + 139);
        EXPECT_EQ(requests.size(), 1u);
        Run(1);
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[1].at, t + 140);
        EXPECT_EQ(requests[1].flags, restart ? kForcedRestart : kForcedShutdown);
        Run(3600);
        EXPECT_EQ(requests.size(), 2u) << "nothing more while a user stays logged on";
        EXPECT_TRUE(
            Logged(restart ? "Restarting system (polite)" : "Shutting down system (polite)"));
        EXPECT_TRUE(Logged("Shutdown/restart hasn't occurred, will force it"));
    }
}

TEST_F(TimerTest, TheSharingTimerTicksOncePerRequest) {
    SetNow(2026, 12, 8, 22, 59, 50);
    dlg->m_bWelcome = 0;
    Start();
    Run(21); // up to the waiting tick at 23:00:11
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SHARING), 1000u);
    Run(1);
    EXPECT_EQ(fake::WindowOf(*dlg)->timers.count(IDT_SHARING), 0u);
}

TEST_F(TimerTest, NobodyLoggedOnMeansNoWarningButTheShutdownOnTime) {
    LogOn(false);
    SetNow(2026, 12, 8, 22, 50, 0);
    Start();
    Run(9 * 60 + 59);
    EXPECT_FALSE(dlg->m_bActionPending);
    EXPECT_EQ(requests.size(), 0u);
    Run(2);
    // The countdown waits for a log-on, so the schedule is compared every second;
    // with nobody there to lose work the forced request follows on the next tick.
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].at, Tue(23, 0));
    EXPECT_EQ(requests[0].flags, kPoliteShutdown);
    EXPECT_EQ(requests[1].at, Tue(23, 0, 1));
    EXPECT_EQ(requests[1].flags, kForcedShutdown);
    EXPECT_FALSE(dlg->IsWindowVisible());
}

// Each jump of the clock made at some point of the sequence gives
// exactly one polite request, at the time the scheduler's own clock implies.
TEST_F(TimerTest, ClockChangesNeitherSkipNorRepeatTheShutdown) {
    const long kHour = 3600, kDay = 24 * kHour, kWeek = 7 * kDay;
    enum When { BeforeWarning, AfterWarning, WhileForcing };
    struct Case {
        long jump;
        When when;
    };
    std::vector<Case> cases;
    for (long jump : {-kHour, kHour, -kDay, kDay, -kWeek, kWeek})
        for (When when : {BeforeWarning, AfterWarning, WhileForcing})
            cases.push_back({jump, when});

    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "jump " << c.jump << " at stage " << c.when);
        Fresh();
        fake::UseEventLog();
        SetNow(2026, 12, 8, 22, 20, 0);
        Start();
        const time_t jumpAt = c.when == BeforeWarning  ? Tue(22, 30)
                              : c.when == AfterWarning ? Tue(22, 57)
                                                       : Tue(23, 0, 30);
        Run(long(jumpAt - fake::Now()));
        Jump(c.jump);
        Run(2 * kHour);
        const std::vector<Request> polite = Polite();
        ASSERT_EQ(polite.size(), 1u);
        const time_t expected = Tue(23, 0) + (c.when == WhileForcing ? 0 : c.jump);
        EXPECT_GE(polite[0].at, expected);
        EXPECT_LT(polite[0].at, expected + 20);
        EXPECT_EQ(Logged("Time/date change detected, ignoring further changes"),
                  c.when != WhileForcing);
        // The Event Log has the change once, by about its amount (a tick is 20 s).
        const auto changes = fake::Reported(event_id::kClockChanged);
        ASSERT_EQ(changes.size(), c.when != WhileForcing ? 1u : 0u);
        for (const auto &change : changes)
            EXPECT_LE(std::labs(std::stol(change[2]) - c.jump), 20);
    }
}

// A sleep is real time passing, told apart from a clock change by the counter that
// runs through it: the shut-down is never late by the sleep, a minute slept through
// is not acted on, and the guard against clock changes stays as it was. A stall is
// awake time (the awake counter saw it): a minute passed in it is acted on at once.
// The times keep the zone they were set in: on a machine set to Tokyo, times set in
// Eastern time are Eastern time's, its daylight saving included, whatever the machine
// is set to meanwhile. Settings without a zone, and a zone the machine doesn't know,
// are the machine's.
TEST_F(TimerTest, TheTimesKeepTheirZone) {
    const struct Case {
        const char *stored;
        bool known;      // the zone's rules are in the registry
        time_t start;    // UTC
        int h, m;        // every day
        time_t polite;   // UTC: the first polite request's minute
        const char *logged;
    } cases[] = {
        {"Eastern Standard Time", true, 1796731200, 23, 0, 1796788800, ""}, // 8 Dec 2026, 04:00 UTC
        {"", true, 1796731200, 23, 0, 1796738400, ""},                      // Tokyo's 23:00
        {"Eastern Standard Time", false, 1796731200, 23, 0, 1796738400,
         "Time zone Eastern Standard Time not found - the schedule keeps Tokyo Standard Time"},
        {"Eastern Standard Time", true, 1772946000, 2, 30, 1772953200, ""}, // 8 Mar: 03:00 EDT
        {"Eastern Standard Time", true, 1793505600, 1, 30, 1793511000, ""}, // 1 Nov: 01:30 EDT
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " " << c.h << ":" << c.m << " from " << c.start);
        StartInTokyo(c.stored, c.known, c.start, c.h, c.m);
        // The machine moves to London meanwhile; nothing changes but a log line.
        Run(3600);
        fake::OsState().timeZone = "GMT Standard Time";
        RunUntil(c.polite + 2 * 3600);
        ASSERT_FALSE(Polite().empty());
        EXPECT_EQ(Polite().size(), 1u);
        EXPECT_GE(Polite()[0].at, c.polite);
        EXPECT_LT(Polite()[0].at, c.polite + 20);
        EXPECT_TRUE(Logged(c.logged));
        int changes = 0;
        for (const std::string &line : fake::LogLines())
            changes += line.find("Time zone changed to GMT Standard Time - the schedule keeps " +
                                 std::string(c.known && *c.stored ? c.stored : "Tokyo Standard Time")) !=
                       std::string::npos;
        EXPECT_EQ(changes, 1);
    }
    UseTimeZone("America/New_York");
}

// Saving adopts the machine's zone; until then the settings dialog says which zone
// the times are in.
TEST_F(TimerTest, SavingTheSettingsAdoptsTheMachinesZone) {
    // 8 Dec 2026 12:00 UTC: 07:00 in New York, 21:00 in Tokyo.
    StartInTokyo("Eastern Standard Time", true, 1796731200, 23, 0);
    CSettingsDlg shown(dlg->GetData(), nullptr);
    dlg->CopyToSettingsDlg(shown);
    EXPECT_EQ(shown.m_sTimeZone, "Eastern Standard Time");
    EXPECT_EQ(dlg->GetNextDay(), 3); // Tuesday's 23:00 in New York is still to come
    dlg->CopyFromSettingsDlg(shown);
    EXPECT_EQ(dlg->m_sTimeZone, "Tokyo Standard Time");
    CSettingsDlg again(dlg->GetData(), nullptr);
    dlg->CopyToSettingsDlg(again);
    EXPECT_EQ(again.m_sTimeZone, "");
    RunUntil(1796738400 + 20); // Tokyo's 23:00
    ASSERT_EQ(Polite().size(), 1u);
    EXPECT_GE(Polite()[0].at, 1796738400);
    UseTimeZone("America/New_York");
}

TEST_F(TimerTest, SleepsAreRealTimeAndClockChangesAreNot) {
    const long kHour = 3600;
    const time_t wed = LocalTime(2026, 12, 9, 0, 0, 0);
    struct Step {
        time_t at;     // run awake until then
        long sleep;    // then sleep this long
        long change;   // then set the clock by this much
        long stall = 0; // then stay awake this long with no tick (a busy machine)
    };
    struct Case {
        const char *name;
        BOOL limit;
        std::vector<Step> steps;
        time_t request; // wall time of the first polite request
        const char *logged;
        bool beforeWindows7 = false; // no counter of awake time
    };
    const Case cases[] = {
        {"a sleep before the shut-down", FALSE, {{Tue(20, 0), 2 * kHour, 0}}, Tue(23, 0),
         "Resumed after 120 minutes"},
        {"a sleep across the minute: the next day's", FALSE, {{Tue(22, 30), kHour, 0}},
         wed + 23 * kHour, "Resumed after 60 minutes"},
        {"... with limit use, 5 minutes after", TRUE, {{Tue(22, 30), kHour, 0}}, Tue(23, 35),
         "Resumed after 60 minutes"},
        {"a clock change, then a sleep", FALSE,
         {{Tue(20, 0), 0, -kHour}, {Tue(19, 30), kHour, 0}}, Tue(22, 0),
         "Time/date change detected, ignoring further changes"},
        {"a sleep, then a clock change", FALSE, {{Tue(20, 0), kHour, kHour}}, wed,
         "Time/date change detected, ignoring further changes"},
        {"a 15-hour hibernation", FALSE, {{Tue(17, 0), 15 * kHour, 0}}, wed + 23 * kHour,
         "Resumed after 900 minutes"},
        {"a stall across the minute: caught up", FALSE, {{Tue(22, 59, 50), 0, 0, 120}},
         Tue(23, 1, 50), "Timer late by "},
        {"... taken for a sleep before Windows 7", FALSE, {{Tue(22, 59, 50), 0, 0, 120}},
         wed + 23 * kHour, "Resumed after 2 minutes", true},
        {"a sleep and a stall: only the sleep is skipped", FALSE,
         {{Tue(22, 30), 25 * 60, 0}, {Tue(22, 55, 30), 0, 0, 6 * 60}}, Tue(23, 1, 30),
         "Timer late by "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        dlg->m_bLimit = c.limit;
        dlg->m_nLimitHours = 3;
        SetNow(2026, 12, 8, 16, 0, 0);
        Start();
        fake::SetAwakeCounterKnown(!c.beforeWindows7);
        for (const Step &s : c.steps) {
            RunUntil(s.at);
            Sleep(s.sleep);
            Jump(s.change);
            fake::AdvanceClock(s.stall);
        }
        RunUntil(c.request + 30);
        const std::vector<Request> polite = Polite();
        ASSERT_EQ(polite.size(), 1u);
        EXPECT_GE(polite[0].at, c.request);
        EXPECT_LE(polite[0].at, c.request + 20);
        EXPECT_TRUE(Logged(c.logged));
    }
    // The 32-bit count of older Windows, carried over its wrap.
    TickCarry carry{0xFFFFFFF0u, 0};
    EXPECT_EQ(CarryTickWrap(5, carry), (uint64_t(1) << 32) + 5);
    EXPECT_EQ(CarryTickWrap(9, carry), (uint64_t(1) << 32) + 9);
}

// A sleep ends a shut-down or a limit use under way: what comes after the resume is
// decided from the schedule, as at a start.
TEST_F(TimerTest, ASleepEndsWhatWasUnderWay) {
    const long kHour = 3600;
    const time_t wed = LocalTime(2026, 12, 9, 0, 0, 0);
    const struct {
        const char *name;
        bool limitUse;     // a log-on at 00:30 on Wednesday, within 3 hours of Tuesday's time
        time_t sleepAt;
        long sleep;
        time_t nextPolite; // the first polite request after the resume
    } cases[] = {
        {"after the polite request", false, Tue(23, 1), 9 * kHour, wed + 23 * kHour},
        {"after the forcing message", false, Tue(23, 2), 9 * kHour, wed + 23 * kHour},
        {"limit use, woken after its hours", true, wed + 1800 + 60, 10 * kHour, wed + 23 * kHour},
        {"limit use, woken within them: five minutes anew", true, wed + 1800 + 60, 20 * 60,
         wed + 1800 + 60 + 20 * 60 + 5 * 60},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        dlg->m_bLimit = c.limitUse;
        dlg->m_nLimitHours = 3;
        if (c.limitUse) {
            LogOn(false);
            fake::SetNow(wed + 1800);
            Start();
            Run(5);
            LogOn(true);
        } else {
            SetNow(2026, 12, 8, 22, 50, 0);
            Start();
        }
        RunUntil(c.sleepAt);
        ASSERT_TRUE(dlg->m_bShuttingDown || dlg->m_nCountdown < 0);
        Sleep(c.sleep);
        const size_t before = requests.size();
        RunUntil(c.nextPolite + 30);
        ASSERT_GT(requests.size(), before);
        EXPECT_EQ(requests[before].flags, kPoliteShutdown) << "forced after the resume";
        EXPECT_GE(requests[before].at, c.nextPolite);
        EXPECT_LE(requests[before].at, c.nextPolite + 25);
        EXPECT_TRUE(Logged(c.limitUse ? "Limit use ended by the sleep" : "Shutdown ended by the sleep"));
    }
}

TEST_F(TimerTest, LimitUseShutsDownFiveMinutesAfterALogOn) {
    dlg->m_bLimit = 1;
    dlg->m_nLimitHours = 3;
    LogOn(false);
    SetNow(2026, 12, 9, 0, 30, 10); // Wednesday, 90 minutes after Tuesday's 23:00
    Start();
    Run(5);
    LogOn(true);
    Run(1);
    const time_t notice = fake::Now();
    EXPECT_EQ(Message(),
              std::string("Shut down time was less than 3 hours ago, so this computer will "
                          "shut down in 5 minutes, at 12:35") +
                  NBSP + "AM.");
    EXPECT_TRUE(dlg->IsWindowVisible());
    EXPECT_EQ(dlg->m_nCountdown, -15);
    dlg->OnOK(); // dismissed
    Run(299);
    EXPECT_TRUE(requests.empty());
    Run(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].at, notice + 300);
    EXPECT_EQ(requests[0].flags, kPoliteShutdown);
    EXPECT_TRUE(Logged("Limiting use to 5 minutes"));
}

// The state a log-off leaves: waiting for it to complete at one tick a second.
class LogoffTest : public TimerTest {
protected:
    void LogOff() {
        dlg->m_bLogoffPending = TRUE;
        dlg->m_bUserLoggedOn = FALSE;
        dlg->m_nCountdown = 0;
        dlg->m_bStartupPhase = FALSE;
        dlg->KillTimer(IDT_SCHEDULER);
        dlg->StartSchedulerTimer(1000);
    }
};

TEST_F(LogoffTest, ThePendingLogoffComparesTheScheduleEverySecond) {
    SetNow(2026, 12, 8, 22, 58, 0);
    dlg->m_nWarningMinutes = 30;
    Start();
    Run(30);
    LogOff(); // at 22:58:30, a user still shown as logged on
    Run(89);
    EXPECT_TRUE(requests.empty());
    Run(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].at, Tue(23, 0));
}

TEST_F(LogoffTest, ANewUserGetsAFreshCountdown) {
    SetNow(2026, 12, 8, 20, 0, 0);
    Start();
    Run(60);
    LogOff();
    LogOn(false);
    Run(1);
    EXPECT_TRUE(Logged("Logoff completed"));
    EXPECT_FALSE(dlg->m_bLogoffPending);
    Run(30);
    LogOn(true);
    Run(1);
    EXPECT_TRUE(dlg->m_bStartupPhase);
    EXPECT_EQ(dlg->m_nCountdown, 9);
    EXPECT_NE(Message().find("10 seconds left to cancel."), std::string::npos);
    for (int id : {IDC_STARTUP_OK, IDCANCEL, IDC_SETTINGS})
        EXPECT_TRUE(dlg->IsDlgItemVisible(id) && dlg->IsDlgItemEnabled(id)) << id;
    EXPECT_FALSE(dlg->IsDlgItemVisible(IDOK));
    EXPECT_TRUE(dlg->IsWindowVisible());
    EXPECT_EQ(fake::WindowOf(*dlg)->focus, IDC_STARTUP_OK);
    Run(10);
    EXPECT_FALSE(dlg->m_bStartupPhase);
    EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 20000u);
}

TEST_F(LogoffTest, AWarningDuringALogoffLeavesTheNextCountdownOnSeconds) {
    SetNow(2026, 12, 8, 22, 50, 0);
    Start();
    Run(60);
    RunUntil(Tue(22, 54, 50));
    LogOff(); // the warning minute comes while the log-off completes
    RunUntil(Tue(22, 55, 10));
    ASSERT_TRUE(warnedAt);
    LogOn(false);
    RunUntil(Tue(22, 58));
    LogOn(true);
    Run(20); // the tick that sees the log-on
    EXPECT_TRUE(dlg->m_bStartupPhase);
    EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 1000u);
    RunUntil(Tue(23, 0, 30));
    ASSERT_EQ(Polite().size(), 1u);
    EXPECT_GE(Polite()[0].at, Tue(23, 0));
    EXPECT_LE(Polite()[0].at, Tue(23, 0, 20));
}

TEST_F(LogoffTest, TheOwnClockMovesAsFarAsTheTickTook) {
    for (const BOOL detect : {TRUE, FALSE}) {
        SCOPED_TRACE(detect ? "detection on" : "detection off");
        Fresh();
        SetNow(2026, 12, 8, 20, 0, 0);
        Start();
        Run(60);
        LogOff();
        LogOn(false);
        dlg->m_bDetectTimeChange = detect;
        Run(1); // the log-off completes
        const CTime before = dlg->m_timeLast;
        Run(3);
        // Once the clock is not trusted, a 1-s tick moves the own time by 1 s: at
        // 20 s a tick it would run twenty times too fast while the log-off waits.
        EXPECT_EQ(dlg->m_timeLast, detect ? CTime(fake::Now()) : before + CTimeSpan(3));
        EXPECT_FALSE(Logged("Time/date change detected, ignoring further changes"));
    }
}

// A scheduled minute that passes between two compares is acted on at the next one;
// a start compares only from its own minute on.
TEST_F(TimerTest, AMinutePassedBetweenComparesIsNotSkipped) {
    struct Case {
        const char *name;
        time_t start;
        BOOL welcome;
        std::function<void()> until2305; // drives the run to 23:05
        time_t warnFrom, warnTo;                     // 0: no warning expected
        time_t requestFrom, requestTo;               // 0: no request expected
    };
    const Case cases[] = {
        {"a log-on whose countdown spans the minute: compared meanwhile", Tue(22, 50), TRUE,
         [this] {
             LogOn(false);
             RunUntil(Tue(22, 59, 59)); // the last compare with nobody there
             LogOn(true);
             RunUntil(Tue(23, 5));
         },
         0, 0, Tue(23, 0), Tue(23, 0, 1)},
        {"a countdown across the warning minute: the warning ends it", Tue(22, 50), TRUE,
         [this] {
             LogOn(false);
             RunUntil(Tue(22, 54, 59));
             LogOn(true);
             RunUntil(Tue(23, 5));
         },
         Tue(22, 55), Tue(22, 55, 1), Tue(23, 0), Tue(23, 0, 20)},
        {"an unnoticed 55-s step over the minute", Tue(22, 50, 5), FALSE,
         [this] {
             RunUntil(Tue(22, 59, 50)); // the last tick was at 22:59:46
             Jump(55);
             RunUntil(Tue(23, 5));
         },
         Tue(22, 55), Tue(22, 55, 20), Tue(23, 1), Tue(23, 1, 2)},
        {"a start after the minute", Tue(23, 0, 59) + 1, TRUE,
         [this] { RunUntil(Tue(23, 5)); }, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        dlg->m_bWelcome = c.welcome;
        dlg->m_nWelcomeTime = 60;
        fake::SetNow(c.start);
        Start();
        c.until2305();
        if (c.warnFrom) {
            EXPECT_GE(warnedAt, c.warnFrom);
            EXPECT_LE(warnedAt, c.warnTo);
        }
        ASSERT_EQ(Polite().size(), c.requestFrom ? 1u : 0u);
        if (c.requestFrom) {
            EXPECT_GE(Polite()[0].at, c.requestFrom);
            EXPECT_LE(Polite()[0].at, c.requestTo);
        }
    }
}

// Decisions where the schedule alone would do the wrong thing.
TEST_F(TimerTest, AShutdownJustAfterMidnightIsWarnedOfTheEveningBefore) {
    for (int d = 0; d < kDays; ++d) {
        dlg->m_nHour[d] = 0;
        dlg->m_nMinute[d] = 2;
    }
    SetNow(2026, 12, 8, 23, 50, 0);
    Start();
    Run(20 * 60);
    ASSERT_TRUE(warnedAt);
    EXPECT_GE(warnedAt, Tue(23, 57));
    EXPECT_LT(warnedAt, Tue(23, 57, 20));
    ASSERT_EQ(Polite().size(), 1u);
    EXPECT_GE(requests[0].at, LocalTime(2026, 12, 9, 0, 2, 0));
    EXPECT_LT(requests[0].at, LocalTime(2026, 12, 9, 0, 2, 20));
}

TEST_F(TimerTest, AZeroWarningPeriodStillShutsDownOnTime) {
    for (const bool loggedOn : {true, false}) {
        SCOPED_TRACE(loggedOn ? "logged on" : "nobody logged on");
        Fresh();
        dlg->m_nWarningMinutes = 0;
        dlg->m_bWelcome = 0;
        LogOn(loggedOn);
        SetNow(2026, 12, 8, 22, 50, 0);
        Start();
        Run(11 * 60);
        EXPECT_FALSE(warnedAt);
        ASSERT_FALSE(Polite().empty());
        EXPECT_GE(requests[0].at, Tue(23, 0));
        EXPECT_LT(requests[0].at, Tue(23, 0, 20));
    }
}

// Values only a hand-edited store can hold never crash, loop, or request a
// shut-down at any time but a valid stored one.
TEST_F(TimerTest, HandEditedValuesNeverMoveTheShutdown) {
    struct Case {
        const char *name;
        DWORD value;
    };
    const Case cases[] = {{"welcometime", 0xFFFFFFFFu},
                          {"welcometime", 0},
                          {"warningminutes", 1000000000u},
                          {"limithours", 0},
                          {"limithours", 1000000000u}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " = " << c.value);
        Fresh();
        dlg->m_bLimit = 1;
        dlg->m_bDay[1] = 0; // Monday off: nothing is due on Tuesday
        dlg->WriteRegistry();
        fake::PutDword(kSettingsKey, c.name, c.value);
        SetNow(2026, 12, 8, 12, 0, 0);
        fake::Open(*dlg);
        EXPECT_LE(dlg->m_nWelcomeTime, 60u);
        EXPECT_GE(dlg->m_nWelcomeTime, 1u);
        Run(36 * 3600);
        const std::vector<Request> polite = Polite();
        ASSERT_EQ(polite.size(), 1u);
        EXPECT_GE(polite[0].at, Tue(23, 0));
        EXPECT_LT(polite[0].at, Tue(23, 0, 20));
    }
}

TEST_F(TimerTest, KillsDosProgramsOnlyWhenAskedAndLogsOnlyAKill) {
    struct Case {
        DWORD platformId;
        BOOL kill;
        std::vector<DWORD> killed; // of 1 ntvdm.exe, 2 cmd.exe, 3 winoa386.mod
    };
    const Case cases[] = {{2, TRUE, {1, 2}}, {1, TRUE, {3}}, {2, FALSE, {}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.platformId << " kill " << c.kill);
        Fresh();
        fake::Plat().platformId = c.platformId;
        ForgetPlatformFamily(); // the scheduler asked already, on construction
        fake::AddProcess(1, "C:\\WINNT\\system32\\ntvdm.exe");
        fake::AddProcess(2, "C:\\WINNT\\system32\\cmd.exe");
        fake::AddProcess(3, "C:\\WINDOWS\\SYSTEM\\WINOA386.MOD");
        dlg->m_bKillDosApps = c.kill;
        dlg->KillDosPrograms();
        EXPECT_EQ(fake::Procs().terminatedPids, c.killed);
        EXPECT_EQ(Logged("Found & killed DOS program"), !c.killed.empty());
    }
    Fresh();
    dlg->m_bKillDosApps = TRUE; // nothing to kill: nothing logged
    dlg->KillDosPrograms();
    EXPECT_FALSE(Logged("Found & killed DOS program"));
}

TEST_F(TimerTest, AnOutOfRangeTimeIsNeverDue) {
    // An INI file may hold any numbers; -1:60 would otherwise read as midnight.
    for (int d = 0; d < kDays; ++d)
        dlg->m_bDay[d] = d == 2;
    dlg->m_bLimit = 1;
    SetNow(2026, 12, 7, 22, 0, 0); // Monday
    Start();
    ASSERT_EQ(dlg->m_nNextDay, 3);
    dlg->m_nHour[2] = -1;
    dlg->m_nMinute[2] = 60;
    dlg->ComputeWarningTimes();
    Run(30 * 3600);
    EXPECT_TRUE(requests.empty());
    EXPECT_FALSE(dlg->IsLimitUseDue());
}

// Session 0: the scheduler is a service nobody sees; the console session's state
// says who is there, the agent asks politely as the user, the system forces.
class SessionZeroTest : public TimerTest {
protected:
    void SetUp() override {
        TimerTest::SetUp();
        fake::Sess().world = {true, false, true, 0, 1}; // an invisible window station
        fake::Sess().console = fake::UserAt(1, "kid");
        ASSERT_TRUE(StartSessionZeroMode());
    }
    void TearDown() override { StopSessionZeroMode(); }
};

TEST_F(SessionZeroTest, TheAgentAsksPolitelyAndTheSystemForces) {
    for (const bool agent : {true, false}) {
        SCOPED_TRACE(agent ? "agent there" : "no agent");
        Fresh();
        fake::Host().agentConnected = agent;
        SetNow(2026, 12, 8, 22, 50, 0);
        Start();
        RunUntil(Tue(23, 3));
        EXPECT_TRUE(Calls().empty()) << "ExitWindowsEx from session 0";
        EXPECT_EQ(fake::Host().politeRequests, agent ? std::vector<UINT>{kPoliteShutdown}
                                                     : std::vector<UINT>{});
        ASSERT_EQ(fake::Sess().shutdownRequests.size(), 1u); // at T + 140 s
        EXPECT_TRUE(warnedAt);
        EXPECT_TRUE(Logged("Shutting down system (forced)"));
    }
}

TEST_F(SessionZeroTest, NobodyAtTheConsoleIsForcedAtOnceAndRepeatedWhileWindowsIsBusy) {
    fake::Sess().console = {};
    SetNow(2026, 12, 8, 22, 59, 30);
    Start();
    fake::Sess().shutdownFails = true;
    fake::Sess().shutdownError = ERROR_SHUTDOWN_IN_PROGRESS;
    RunUntil(Tue(23, 0, 30));
    EXPECT_TRUE(fake::Host().politeRequests.empty());
    const size_t tries = fake::Sess().shutdownRequests.size();
    EXPECT_GE(tries, 2u);
    fake::Sess().shutdownFails = false;
    Run(60);
    EXPECT_GT(fake::Sess().shutdownRequests.size(), tries);
}

// The countdown counts only while an agent shows it, or from 30 s after the user was
// first seen; the schedule is compared meanwhile.
TEST_F(SessionZeroTest, TheCountdownCountsOnlyWhileSomeoneCanSeeIt) {
    for (const int seen : {1, 0, 2}) {
        SCOPED_TRACE(seen == 1 ? "an agent shows it" : seen ? "the user arrives locked" : "no agent yet");
        const bool agent = seen == 1;
        Fresh();
        fake::Host().agentConnected = seen != 0;
        fake::Sess().console = fake::UserAt(1, "kid", seen == 2);
        SetNow(2026, 12, 8, 20, 0, 0);
        Start();
        Run(20);
        EXPECT_EQ(bool(dlg->m_bStartupPhase), !agent);
        Run(25);
        EXPECT_FALSE(dlg->m_bStartupPhase);
    }
    Fresh();
    fake::Host().agentConnected = false;
    SetNow(2026, 12, 8, 22, 59, 45);
    Start();
    RunUntil(Tue(23, 0, 2));
    EXPECT_TRUE(dlg->m_bShuttingDown) << "a countdown nobody sees holds no shut-down up";
}

// A forced request is carried through in either world, whoever is logged on: someone
// else's pending shut-down is aborted and replaced, and one held up "in progress" by
// a program for a minute is freed by ending the user's session.
TEST_F(SessionZeroTest, AForcedRequestIsCarriedThrough) {
    enum World { SessionZero, Service, Plain };
    const struct {
        World world;
        bool scheduled; // a "shutdown /s /t N" of the user's, pending before T
        const char *logged;
    } cases[] = {
        {SessionZero, true, "Aborted a shutdown scheduled by someone else"},
        {Plain, true, "Aborted a shutdown scheduled by someone else"},
        {SessionZero, false, "Shutdown held up - ending the user's session"},
        {Service, false, "Shutdown held up - ending the user's session"},
        {Plain, false, "Shutdown held up - ending the user's session"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(&c - cases));
        Fresh();
        fake::UseEventLog();
        if (c.world != SessionZero) {
            StopSessionZeroMode();
            fake::Sess().world = {true, true, true, 1, 1};
        }
        dlg->m_bServiceMode = c.world != Plain;
        fake::Sess().scheduledByOther = c.scheduled;
        SetNow(2026, 12, 8, 22, 58, 0);
        Start();
        RunUntil(Tue(23, 0, 10));
        // The polite request went through; a program now holds it up.
        fake::Sess().heldUp = !c.scheduled;
        RunUntil(Tue(23, 2, 35)); // T + 140 s has passed
        const auto forced = [&] {
            return c.world == SessionZero ? fake::Sess().shutdownRequests.size()
                                          : size_t(std::count_if(Calls().begin(), Calls().end(),
                                                                 [](UINT f) { return f & EWX_FORCE; }));
        };
        const size_t first = forced();
        if (c.scheduled) {
            // Refused, aborted, asked again at once: through.
            EXPECT_EQ(first, 2u);
            EXPECT_EQ(fake::Sess().aborts, 1);
            EXPECT_FALSE(fake::Sess().scheduledByOther);
            EXPECT_TRUE(Logged("Shutting down system (forced) failed - error 1190"));
        } else {
            EXPECT_EQ(first, 1u);
            EXPECT_TRUE(Logged("Shutting down system (forced) failed - error 1115"));
            RunUntil(Tue(23, 3, 15)); // asked again every tick, the user still there
            EXPECT_GE(forced(), first + 2);
            EXPECT_TRUE(fake::Sess().heldUp);
            RunUntil(Tue(23, 3, 35)); // a minute of "in progress"
            EXPECT_FALSE(fake::Sess().heldUp);
            const bool wts = c.world != Plain;
            EXPECT_EQ(fake::Sess().consoleLogoffs, wts ? 1 : 0);
            EXPECT_EQ(std::count(Calls().begin(), Calls().end(), EWX_LOGOFF | EWX_FORCE), wts ? 0 : 1);
        }
        EXPECT_TRUE(Logged(c.logged));
        // The Event Log has each kind of request once and each refusal once, though the
        // forced request was made again at every tick; the plain world's polite
        // ExitWindowsEx meets the pending shut-down too.
        using Inserts = std::vector<std::vector<std::string>>;
        EXPECT_EQ(fake::Reported(event_id::kShutdownRequested),
                  (Inserts{{"shut down", "polite"}, {"shut down", "forced"}}));
        Inserts failed = {{"shut down", "forced", c.scheduled ? "1190" : "1115"}};
        if (c.world == Plain && c.scheduled)
            failed.insert(failed.begin(), {"shut down", "polite", "1190"});
        EXPECT_EQ(fake::Reported(event_id::kShutdownFailed), failed);
        // The last request was taken: nothing more while a user stays (in session 0
        // the log-off left nobody, who is forced at every tick as ever).
        if (c.scheduled || c.world != SessionZero) {
            const size_t through = forced();
            Run(600);
            EXPECT_EQ(forced(), through);
        }
    }
}

TEST_F(SessionZeroTest, ALogOffAndASwitchOfUserGiveTheNextUserACountdown) {
    SetNow(2026, 12, 8, 20, 0, 0);
    Start();
    Run(30);
    ASSERT_FALSE(dlg->m_bStartupPhase);
    fake::Sess().console = fake::UserAt(2, "sister"); // a switch: off and on in one tick
    Run(20);
    EXPECT_TRUE(Logged("User logged off"));
    EXPECT_TRUE(Logged("Logoff completed"));
    Run(1);
    EXPECT_TRUE(dlg->m_bStartupPhase);
    EXPECT_EQ(fake::WindowOf(*dlg)->timers.at(IDT_SCHEDULER), 1000u);
    fake::Sess().console.locked = true; // locked: still there, unable to answer
    Run(1);
    EXPECT_TRUE(UserThere());
}

// A locked user is warned (the agent runs while locked), warned again on coming
// back, and asked politely at T, so that programs may save; the force follows at
// T + 140 s, not at once.
TEST_F(SessionZeroTest, ALockedUserIsWarnedAndAskedPolitelyBeforeTheForce) {
    const auto warnings = [] {
        const auto lines = fake::LogLines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string &l) {
            return l.find("Showing warning") != std::string::npos;
        });
    };
    SetNow(2026, 12, 8, 22, 50, 0);
    Start();
    RunUntil(Tue(22, 52));
    fake::Sess().console.locked = true;
    RunUntil(Tue(22, 57));
    EXPECT_EQ(1, warnings());
    fake::Sess().console.locked = false;
    Run(20);
    EXPECT_EQ(2, warnings()) << "shown again on unlock";
    fake::Sess().console.locked = true;
    RunUntil(Tue(23, 2, 15));
    EXPECT_EQ(fake::Host().politeRequests, std::vector<UINT>{kPoliteShutdown});
    EXPECT_TRUE(fake::Sess().shutdownRequests.empty());
    RunUntil(Tue(23, 2, 35)); // the polite request came at 23:00:10
    EXPECT_EQ(fake::Sess().shutdownRequests.size(), 1u);
}

// Only a Remote Desktop user: warned through their own agent; the system makes the
// polite request with Windows' notice, and forces at T + 140 s. One who disconnects
// leaves nobody: forced at once, our own notice aborted and replaced. A program of
// theirs holding the shut-down up ends with their session, not the console's.
TEST_F(SessionZeroTest, ARemoteUserIsWarnedAndTheSystemAsksWithItsNotice) {
    enum { Stays, Leaves, HoldsUp };
    for (const int c : {Stays, Leaves, HoldsUp}) {
        SCOPED_TRACE(c);
        Fresh();
        StopSessionZeroMode();
        fake::Sess().console = fake::UserAt(1, ""); // the sign-in screen
        fake::Sess().remote = {fake::UserAt(2, "kid")};
        fake::Sess().agentStarts.clear();
        ASSERT_TRUE(StartSessionZeroMode());
        SetNow(2026, 12, 8, 22, 50, 0);
        Start();
        RunUntil(Tue(23, 0, 30));
        EXPECT_TRUE(warnedAt);
        EXPECT_EQ(fake::Sess().agentStarts.at(0).first, 2u);
        EXPECT_TRUE(fake::Host().politeRequests.empty());
        EXPECT_EQ(fake::Sess().noticeRequests, std::vector<DWORD>{60});
        EXPECT_TRUE(fake::Sess().shutdownRequests.empty());
        fake::Sess().remote[0].connected = c != Leaves;
        fake::Sess().heldUp = c == HoldsUp;
        RunUntil(c == Leaves ? Tue(23, 0, 55) : Tue(23, 2, 35));
        EXPECT_EQ(fake::Sess().shutdownRequests.size(), c == Leaves ? 2u : 1u);
        EXPECT_EQ(fake::Sess().aborts, c == Leaves ? 1 : 0);
        if (c == HoldsUp)
            RunUntil(Tue(23, 3, 35)); // a minute of "in progress"
        EXPECT_EQ(fake::PendingShutdownError(), 0u);
        EXPECT_EQ(fake::Sess().remote.empty(), c == HoldsUp);
        EXPECT_EQ(fake::Sess().consoleLogoffs, 0);
    }
}

// What an organisation manages wins over the stored settings from the start, a
// change of it is taken at the next tick, and the stores keep their own values.
TEST_F(TimerTest, PolicyRulesTheScheduleAndTheStoresKeepTheirOwn) {
    const std::string every1230 = "12:30 12:30 12:30 12:30 12:30 12:30 12:30";
    fake::PutDword(kPoliciesKey + std::string("\\Other"), "x", 1); // Windows has the key
    fake::PutString(kPolicyKey, "times", "13:00 13:00 13:00 13:00 13:00 13:00 13:00");
    fake::PutDword(kPolicyKey, "limit", 1);
    fake::UseEventLog();
    Start();
    EXPECT_EQ(dlg->m_nHour[2], 13);
    EXPECT_EQ(dlg->m_bLimit, TRUE);

    // A write keeps the stored times and limit, and the schedule keeps the policy's.
    dlg->m_nWarningMinutes = 7;
    dlg->WriteRegistry();
    EXPECT_EQ(fake::GetString(kSettingsKey, "times").substr(0, 5), "23:00");
    EXPECT_EQ(fake::GetDword(kSettingsKey, "limit"), 0u);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "warningminutes"), 7u);
    EXPECT_EQ(dlg->m_nHour[2], 13);

    // Gone from the policy: the stored time is back at the next tick.
    RegKey key;
    ASSERT_EQ(key.Open(kPolicyKey, RegAccess::Write), ERROR_SUCCESS);
    key.DeleteValue("times");
    key.Close();
    Run(20);
    EXPECT_EQ(dlg->m_nHour[2], 23);
    EXPECT_EQ(dlg->m_bLimit, TRUE);
    EXPECT_TRUE(Logged("Settings changed by policy"));
    EXPECT_EQ(fake::Reported(event_id::kSettingsChanged),
              std::vector<std::vector<std::string>>{{"Group Policy"}});

    // A new time is acted on.
    fake::PutString(kPolicyKey, "times", every1230);
    RunUntil(Tue(12, 31));
    ASSERT_FALSE(requests.empty());
    EXPECT_GE(requests[0].at, Tue(12, 30));

    // Off by policy: the scheduler ends, as after the settings dialog.
    Fresh();
    fake::PutString(kPolicyKey, "times", every1230);
    Start();
    fake::PutDword(kPolicyKey, "status", 0);
    Run(20);
    EXPECT_TRUE(fake::IsEnded(*dlg));
    EXPECT_TRUE(requests.empty());
}

} // namespace
