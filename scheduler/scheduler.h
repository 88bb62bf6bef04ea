// CVespraDlg: the scheduler. One modal dialog, hidden most of the time, that shows
// the startup countdown, the warning and the shut-down notices, and watches the
// clock with its timer.
#pragma once

#include <memory>
#include <string>

#include "framework/datetime.h"
#include "framework/dialog.h"
#include "framework/zone.h"
#include "settings/registry_store.h"
#include "settings/schedule_settings.h"
#include "system/registry.h"
#include "session/session_watch.h"
#include "scheduler/forced_request.h"

class CSettingsDlg;

constexpr UINT_PTR IDT_SCHEDULER = 99;
constexpr UINT_PTR IDT_SHARING = 100;
// Session 0 mode: the watch of the console session and the agent's restart, on a
// timer of their own that no handler stops, so a dialog or a box waiting for the
// user never leaves the user without the agent.
constexpr UINT_PTR IDT_SESSION_WATCH = 101;
constexpr UINT kSessionWatchMs = 2000;
// How long a message box of the scheduler or its agent waits for an answer.
constexpr DWORD kUnansweredBoxMs = 60000;
constexpr UINT WM_STOP_SCHEDULER = WM_USER + 1;

// The startup countdown's range, as the settings dialog accepts it.
constexpr UINT kMinWelcomeTime = 1;
constexpr UINT kMaxWelcomeTime = 60;

inline bool IsValidTimeOfDay(int hour, int minute) {
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

// The minute of the day (0..1439) at which a time of day, given as minutes since
// midnight, is reached on the local date of `day`: that minute itself, or, on the day
// the clock skips it when daylight saving time begins, the first minute after the
// gap. -1 when that date has no such minute. Dates and minutes are the zone's.
int ReachedAtMinute(const struct tm &day, int minuteOfDay, const ScheduleZone &zone = ScheduleZone());

// One number per local date.
inline int LocalDateKey(const struct tm &day) {
    return (day.tm_year + 1900) * 400 + day.tm_yday;
}

// One number per local minute, ordered as the clock shows them.
inline long long LocalMinuteKey(const struct tm &day, int minuteOfDay) {
    return static_cast<long long>(LocalDateKey(day)) * 1440 + minuteOfDay;
}

// Whether a user is there to see the scheduler: the input desktop, or in session 0
// mode the console session.
bool UserThere();

class CVespraDlg : public CDialog, public ScheduleSettings {
public:
    CVespraDlg(CDialog *parent, BOOL bSettingsMode, BOOL bServiceMode, BOOL bAlreadyRunning);

    // Set-up and the shut-down time.
    void SetDefaults();
    void ComputeWarningTimes();
    int GetNextDay() const;
    std::string MakeNextTimeText();
    void ShowCountdown(UINT seconds);
    void EnterWaitingState();
    bool IsLimitUseDue() const;
    SettingsDlgData GetData();
    BOOL OnInitDialog() override;
    // Whether a shut-down or restart was requested today at or after today's time,
    // while the next day is still today.
    bool TodaysShutdownRequested(const CTime &lastRequest) const;
    int NextEnabledDayAfterToday() const;

    // Locale and time texts.
    void ReadLocale();
    std::string FormatTime(int hour, int minute);
    void CopyToSettingsDlg(CSettingsDlg &dlg) const;
    void CopyFromSettingsDlg(const CSettingsDlg &dlg);

    // Stores.
    BOOL ReadRegistry();
    BOOL WriteRegistry();
    BOOL ReadIni();
    // Settings an organisation manages: the policy's values over the settings read
    // from a store. Those it no longer holds go back to the stored ones.
    void TakePolicy(const StoredSettings &policy);
    // A change of the policy since the last tick, taken as a new schedule is; true
    // when it turned the action off and so ended the scheduler.
    bool FollowPolicy();
    // bQuiet: without the notice that names the file (the setup's conversion).
    // FALSE when the file was left as it was.
    BOOL WriteIni(BOOL bQuiet = FALSE);
    // The setup's " /update": a password stored in the scrambled form, in either
    // store, is stored again as its hash, which empties "lock" and "password".
    // Nothing changes where the system has no crypto.
    void ConvertOldPasswords();

    // Timer and shut-down sequence.
    void OnTimer(UINT_PTR id) override;
    void CheckTime(const CTime &t);
    // Compares from the minute of `t` on: a start's baseline for CheckTime.
    void CompareFrom(const CTime &t);
    void StartWarning();
    void ShowWarning();
    void StartLimitUse();
    void DoShutdown(BOOL bForced);
    // The forced request: 0 when Windows took it, else its error.
    DWORD RequestForced(UINT flags);
    // The forced request carried through: someone else's pending shut-down aborted
    // and replaced, a shut-down held up for a minute freed by ending the user's
    // session, and anything refused asked again at the next tick (m_bRepeatForced).
    void CarryForcedRequest(UINT flags, const char *what);
    void ShowStatus(UINT stringId);
    void KillDosPrograms();
    // Session 0 mode: a log-off seen in the console session's state since the last
    // tick of timer 99.
    void FollowConsoleSession();
    // Time that really passed since the last tick, by the counter nobody can set.
    // A gap far longer than the tick moves the own time on by it. The part the
    // machine slept (what the awake counter did not see) is handled as a start is:
    // its minutes are not acted on. The part it was awake but the timer was late (a
    // stall) is ordinary time, caught up at the next compare. Without the awake
    // counter (before Windows 7) the whole gap counts as a sleep.
    void FollowRealTime();
    // A shut-down sequence, a forcing countdown or a limit-use countdown under way
    // when the machine slept ends: the scheduler waits again, and limit use applies
    // when a user is back and it is due.
    void EndWhatSleptThrough();
    // The startup countdown's seconds run: the user can see it.
    bool CountdownSeen() const;
    // The schedule's zone from the settings (m_sTimeZone): its own rules when it is
    // not the zone this process started in, else the C library's local time; a zone
    // that can't be read leaves the machine's, logged once.
    void UseStoredZone();
    // A change of the machine's zone since it was last looked at: logged, nothing else.
    void FollowMachineZone();
    // The name of the zone the schedule keeps.
    std::string ScheduleZoneName() const;

    // User-facing handlers.
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    void OnOK() override;
    void OnCancel() override;
    void OnOptions();
    void OnStartupOK();
    void OnDestroy() override;
    BOOL OnHelpInfo() override;
    void OnEndSession(BOOL ending, LPARAM flags) override;
    BOOL CanShowHelp() const;

    // Message boxes captioned "Vespra", owned by this dialog.
    int ShowMessage(const std::string &text, UINT type);
    int ShowMessage(UINT stringId, UINT type);

    // Runs the settings dialog on these settings; TRUE when it was confirmed and
    // the settings (warning times and next day too) were taken back.
    BOOL EditSettings();

    // Starts timer 99; on failure tells the user, stops the service when in service
    // mode and ends the dialog. Returns whether the timer runs.
    BOOL StartSchedulerTimer(UINT elapseMs);
    // A timer that can't be started: tells the user, stops the service when in
    // service mode and ends the dialog.
    void EndForTimerFailure();
    // Ends this run of the scheduler: stops the service when in service mode.
    void StopServiceIfServiceMode();

    // Scheduler state (settings are the ScheduleSettings base).
    CTimeSpan m_tsLimitDelay;
    CTimeSpan m_tsTimeTolerance;
    BOOL m_bActionPending = FALSE;
    BOOL m_bShuttingDown = FALSE;
    BOOL m_bStartupPhase = TRUE;
    int m_nCountdown = 0;
    int m_nNextDay = 1;
    // Warning time per day, by day-of-week; 99 = none.
    int m_nWarnHour[kDays] = {};
    int m_nWarnMinute[kDays] = {};
    BOOL m_bSettingsMode;
    int m_nForceCountdown = 0;
    BOOL m_bNetworkHelp = FALSE;
    std::string m_sTimeSep;
    std::string m_sAM;
    std::string m_sPM;
    BOOL m_b24Hour = 1;
    CTime m_timeLast;
    // The interval timer 99 runs at: how far the scheduler's own time moves a tick.
    CTimeSpan m_tsTick{20};
    // CheckTime's memo of ReachedAtMinute for the warning [0] and the shut-down [1]
    // time: the time library is asked once a date, not at every tick.
    struct ReachedMemo {
        int date = -1;
        int minute = -1;
        int reached = -1;
    };
    ReachedMemo m_reachedMemo[2];
    // The local minute (LocalMinuteKey) of the last compare: a scheduled minute the
    // compared time reached since then, and not yet acted on, is acted on at the next
    // compare. A start sets it to the minute before its own, so a run compares only
    // from its own minute on. -1: no baseline; a compare covers only its own minute.
    long long m_nComparedMinute = -1;
    // The local date (LocalDateKey) whose shut-down was requested before this run
    // started; CheckTime does not act on that date's time again. -1: none.
    int m_nRequestedDate = -1;
    BOOL m_bDetectTimeChange = TRUE;
    BOOL m_bUseRegistry = TRUE;
    BOOL m_bServiceMode;
    BOOL m_bAlreadyRunning;
    BOOL m_bUserLoggedOn = FALSE;
    BOOL m_bAfterLogoff = FALSE;
    BOOL m_bLogoffPending = FALSE;
    // The real-time counter when the user was last seen arriving.
    uint64_t m_nUserSeenMs = 0;
    // The real-time counter (MonotonicMs) at the last tick or timer start.
    uint64_t m_nCounterLast = 0;
    // The awake-time counter (AwakeMs) at the same moment, when the system has one.
    uint64_t m_nAwakeLast = 0;
    BOOL m_bAwakeKnown = FALSE;
    // The machine slept since the user was last seen: limit use applies when a user
    // is there again, without a new startup countdown.
    BOOL m_bResumed = FALSE;
    // The last forced request was refused: it is made again at every tick.
    BOOL m_bRepeatForced = FALSE;
    // The forced request is made again at every tick while it is refused or nobody
    // is there: the Event Log has it once a shut-down, and a refusal again only when
    // its error changes.
    BOOL m_bForcedReported = FALSE;
    DWORD m_nReportedForcedError = 0;
    // Session 0 mode: what the session watch saw since timer 99 last looked.
    SessionEvents m_sessionEvents;
    ShutdownEscalation m_forced;
    // The zone the times are compared in; the machine's zone as this process
    // started in it, and as it was last seen.
    ScheduleZone m_zone;
    std::string m_sStartZone;
    std::string m_sMachineZone;
    // What the policy manages (PolicyItem bits), the policy values taken, the stored
    // settings of the items it manages (what the stores keep), and the watch on the
    // policy's key, made before the first read so that no change is missed.
    unsigned m_nManaged = 0;
    StoredSettings m_policy;
    ScheduleSettings m_ownSettings;
    std::unique_ptr<RegChangeWatch> m_policyWatch;
    // The service ends this run itself, or was asked to restart the scheduler: the
    // end of this run must not stop it (a late stop would end the new scheduler).
    BOOL m_bNoServiceStopOnExit = FALSE;
};
