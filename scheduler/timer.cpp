// The scheduler's timer: the startup countdown, following log-ons and log-offs,
// its own clock with the guard against clock changes, the warning, limit use, and
// the shut-down or restart, first politely and then by force.
#include "framework/app.h"
#include "framework/clock.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "session/agent.h"
#include "scheduler/scheduler.h"
#include "settings/run_state.h"
#include "system/event_log.h"
#include "system/log.h"
#include "system/logon.h"
#include "system/platform.h"
#include "system/platform_calls.h"
#include "system/process_walk.h"
#include "system/program_disable.h"
#include "session/sessions.h"
#include "system/sharing.h"
#include "scheduler/forced_request.h"

namespace {
constexpr UINT kWaitingTickMs = 20000;
constexpr int kLimitUseTicks = 15;   // 15 x 20 s, the 5 minutes of the notice
constexpr int kForceCountdown = 6;   // ticks from the polite request to the forced one
constexpr int kForcingMessageAt = 3; // the tick of the "forcing" message
// In session 0 mode a countdown no agent shows waits this long after the user was
// first seen, then counts down unseen.
constexpr uint64_t kUnseenCountdownMs = 30000;
// Session 0 mode with nobody at the console: Windows' own notice stands this long
// before it asks the programs to close, well before the forced request at T + 140 s.
constexpr DWORD kNoticeSeconds = 60;
// A gap of which the machine slept less than this is a stall, not a sleep: the
// counters are read at slightly different moments and tick at different grains.
constexpr int64_t kShortestSleepSeconds = 5;

int MinuteOfDay(int hour, int minute) {
    return hour * 60 + minute;
}

// ReachedAtMinute for the date of `day`, asked of the time library once a date.
int ReachedAt(const struct tm &day, int minuteOfDay, const ScheduleZone &zone,
              CVespraDlg::ReachedMemo &memo) {
    const int date = LocalDateKey(day);
    if (memo.date != date || memo.minute != minuteOfDay) {
        memo.date = date;
        memo.minute = minuteOfDay;
        memo.reached = ReachedAtMinute(day, minuteOfDay, zone);
    }
    return memo.reached;
}
} // namespace

bool UserThere() {
    // In session 0 the input desktop is never ours: the session manager tells.
    return InSessionZeroMode() ? SessionZeroUserThere() : IsUserLoggedOn();
}

void CVespraDlg::FollowConsoleSession() {
    const SessionEvents events = m_sessionEvents;
    m_sessionEvents = SessionEvents();
    // A warning still unanswered is shown again to the user coming back from a lock.
    if (events.unlock && m_bActionPending && m_nCountdown >= 0 && !m_bShuttingDown &&
        m_bShowWarning && IsWindowVisible())
        ShowWarning();
    if (!events.logOff)
        return;
    // No WM_ENDSESSION reaches session 0 for a user's log-off; the session state says
    // the user has gone, so the log-off is complete as soon as it is seen.
    OnEndSession(TRUE, LPARAM(ENDSESSION_LOGOFF));
    if (m_bLogoffPending) {
        WriteLog("Logoff completed");
        m_bLogoffPending = FALSE;
        m_bAfterLogoff = TRUE;
    }
}

void CVespraDlg::FollowRealTime() {
    const uint64_t counter = MonotonicMs();
    const uint64_t realMs = counter - m_nCounterLast;
    m_nCounterLast = counter;
    uint64_t awake = 0;
    const bool awakeKnown = AwakeMs(awake) && m_bAwakeKnown;
    const uint64_t awakeMs = awake - m_nAwakeLast;
    m_nAwakeLast = awake;
    m_bAwakeKnown = awakeKnown;
    // Every gap the guard would not take as the tick (the tolerance is strict, and the
    // clock and the counter count seconds and milliseconds) is real time the own time
    // must follow, or the guard would take it for a clock change.
    if (realMs < uint64_t((m_tsTick + m_tsTimeTolerance).GetTotalSeconds() - 1) * 1000)
        return;
    const int64_t real = int64_t(realMs / 1000);
    const CTime before = m_timeLast;
    // Whether the clock agrees is for the guard to judge: a clock changed during the
    // gap is still caught.
    m_timeLast += CTimeSpan(real) - m_tsTick;
    // The part of the gap the machine slept; all of it where that can't be told.
    const int64_t slept =
        awakeKnown ? (awakeMs < realMs ? int64_t((realMs - awakeMs) / 1000) : 0) : real;
    if (slept < kShortestSleepSeconds) {
        // Awake all along: the process was not run (a busy machine, a flood of
        // messages, a debugger). Minutes passed meanwhile are acted on now.
        WriteLog("Timer late by " +
                 std::to_string(static_cast<long long>(real - m_tsTick.GetTotalSeconds())) +
                 " seconds");
        return;
    }
    WriteLog("Resumed after " + std::to_string(static_cast<long long>(slept / 60)) + " minutes");
    // As after a start: a minute slept through is not acted on, and limit use applies
    // when a user is there again. The awake rest of the gap is taken as the part
    // after the resume, and compared.
    CompareFrom(awakeKnown ? before + CTimeSpan(slept) : m_timeLast + m_tsTick);
    EndWhatSleptThrough();
    m_nNextDay = GetNextDay();
    MakeNextTimeText();
    // A warning given before the sleep was for a time slept through.
    m_bActionPending = FALSE;
    m_bResumed = TRUE;
    m_bUserLoggedOn = FALSE;
}

void CVespraDlg::OnTimer(UINT_PTR id) {
    if (id == IDT_SESSION_WATCH) {
        const SessionEvents seen = SessionZeroTick();
        m_sessionEvents.logOff |= seen.logOff;
        m_sessionEvents.logOn |= seen.logOn;
        m_sessionEvents.lock |= seen.lock;
        m_sessionEvents.unlock |= seen.unlock;
        return;
    }
    TimerBeep();

    if (id == IDT_SHARING) {
        KillTimer(IDT_SHARING);
        if (CloseSharingDialog())
            WriteLog("Clicked Yes to close Share message");
        return;
    }
    if (id != IDT_SCHEDULER)
        return;
    FollowRealTime();
    FollowMachineZone();
    if (FollowPolicy())
        return;
    if (InSessionZeroMode())
        FollowConsoleSession();

    if (m_bShuttingDown) {
        if (CloseSharingDialog())
            WriteLog("Clicked Yes to close Share message");
        if (!UserThere() || m_bRepeatForced) {
            // Nobody is there to lose work, or the forced request was refused: no
            // reason to wait.
            DoShutdown(TRUE);
            return;
        }
        if (m_nForceCountdown == kForcingMessageAt) {
            WriteLog("Shutdown/restart hasn't occurred, will force it");
            ShowStatus(m_bRestart ? IDS_FORCING_RESTART : IDS_FORCING);
        } else if (m_nForceCountdown == 0) {
            DoShutdown(TRUE);
        }
        --m_nForceCountdown;
        return;
    }

    bool limitUseStarted = false;
    if (!m_bUserLoggedOn) {
        const bool loggedOn = UserThere();
        if (m_bLogoffPending) {
            if (loggedOn) {
                // The log-off has not finished yet; keep an eye on the schedule. Once
                // the clock has been found changed it no longer tells the time: taken
                // again here, a clock set forward and a log-off would skip the
                // shut-down, a clock set back would delay it.
                if (m_bDetectTimeChange)
                    m_timeLast = CTime::GetCurrentTime();
                else
                    m_timeLast += m_tsTick;
                CheckTime(m_timeLast);
                return;
            }
            WriteLog("Logoff completed");
            m_bLogoffPending = FALSE;
            m_bAfterLogoff = TRUE;
        }
        m_bUserLoggedOn = loggedOn;
        if (loggedOn) {
            WriteLog("User is logged on");
            m_nUserSeenMs = MonotonicMs();
            // A user back from a sleep gets limit use, not a second startup countdown.
            const bool onlyResumed = m_bResumed && !m_bAfterLogoff;
            m_bResumed = FALSE;
            if (m_bAfterLogoff) {
                // A new user gets the startup countdown of their own.
                m_bAfterLogoff = FALSE;
                m_nCountdown = int(m_nWelcomeTime);
                m_bStartupPhase = TRUE;
                ShowCountdown(m_nWelcomeTime);
                ShowDlgItem(IDOK, FALSE);
                ShowDlgItem(IDC_SETTINGS, m_bUseRegistry);
                ShowDlgItem(IDC_STARTUP_OK, TRUE);
                EnableDlgItem(IDC_STARTUP_OK, TRUE);
                ShowDlgItem(IDCANCEL, TRUE);
                EnableDlgItem(IDCANCEL, TRUE);
                GotoDlgCtrl(IDC_STARTUP_OK);
                // A warning given while the log-off completed put the timer on 20 s;
                // the countdown counts seconds.
                if (m_tsTick != CTimeSpan(1) && !StartSchedulerTimer(1000))
                    return;
            }
            if (IsLimitUseDue()) {
                if (m_bDisableCpl)
                    EnableDateTimeControlPanel(false);
                if (m_bDisableRegPgms)
                    EnableRegistryPrograms(false);
                StartLimitUse();
                limitUseStarted = true;
            }
            if ((m_bWelcome && !onlyResumed) || m_nCountdown < 0) {
                WriteLog("Showing startup dialog");
                ShowOnTop();
            }
        }
    }

    // The notice promises 5 minutes: its own tick is not one of the 15.
    if (limitUseStarted)
        return;

    const int c = m_nCountdown;
    if (c < 0) {
        m_nCountdown = c + 1;
        if (m_nCountdown == 0)
            DoShutdown(FALSE);
        return;
    }
    if (c > 0) {
        if (m_bUserLoggedOn) {
            // The own time is kept current so that a log-off after the countdown
            // does not look like a clock change.
            if (m_bDetectTimeChange)
                m_timeLast = CTime::GetCurrentTime();
            else
                m_timeLast += m_tsTick;
            if (CountdownSeen()) {
                m_nCountdown = c - 1;
                ShowCountdown(UINT(c));
            }
            // The schedule is compared meanwhile: a countdown held up again and again
            // (a prompt opened at every chance) must not hold the shut-down up.
            CheckTime(m_timeLast);
        } else {
            // The countdown waits for a log-on; the schedule still holds.
            m_timeLast = CTime::GetCurrentTime();
            CheckTime(m_timeLast);
        }
        return;
    }

    if (m_bStartupPhase)
        EnterWaitingState();
    // The own time moves as far as the tick took: 20 s while waiting, 1 s while a
    // log-off completes.
    m_timeLast += m_tsTick;
    if (m_bDetectTimeChange) {
        const CTime now = CTime::GetCurrentTime();
        if (now - m_tsTimeTolerance < m_timeLast && m_timeLast < now + m_tsTimeTolerance) {
            m_timeLast = now;
        } else {
            // From now on the scheduler keeps its own time: setting the clock
            // neither skips nor advances the shut-down.
            m_bDetectTimeChange = FALSE;
            WriteLog("Time/date change detected, ignoring further changes");
            ReportClockChanged(m_timeLast.GetTime(), now.GetTime());
        }
    }
    CheckTime(m_timeLast);
}

bool CVespraDlg::CountdownSeen() const {
    // In session 0 mode only an agent shows the countdown; right after a log-on it may
    // take a while to start. The compare of the schedule goes on meanwhile.
    return !InSessionZeroMode() || SessionZeroAgentShowing() ||
           MonotonicMs() - m_nUserSeenMs >= kUnseenCountdownMs;
}

void CVespraDlg::EndWhatSleptThrough() {
    if (!m_bShuttingDown && m_nCountdown >= 0)
        return;
    // A shut-down or limit use under way when the machine went to sleep ends with the
    // sleep: it is decided again from the schedule, as at a start.
    WriteLog(m_bShuttingDown ? "Shutdown ended by the sleep" : "Limit use ended by the sleep");
    m_bShuttingDown = FALSE;
    m_bRepeatForced = FALSE;
    m_forced = ShutdownEscalation();
    m_nForceCountdown = 0;
    m_bActionPending = FALSE;
    KillTimer(IDT_SHARING);
    EnterWaitingState();
}

void CVespraDlg::CompareFrom(const CTime &t) {
    const struct tm lt = m_zone.Local(t);
    m_nComparedMinute = LocalMinuteKey(lt, MinuteOfDay(lt.tm_hour, lt.tm_min)) - 1;
}

void CVespraDlg::CheckTime(const CTime &t) {
    const struct tm lt = m_zone.Local(t);
    const long long now = LocalMinuteKey(lt, MinuteOfDay(lt.tm_hour, lt.tm_min));
    // The minutes this compare covers: every one the compared time reached since the
    // last compare, so a countdown, a dialog or a small step of the clock that lies
    // across a scheduled minute delays it to this compare instead of skipping it a
    // week. When the time has not moved on (or went back into a repeated hour), its
    // own minute.
    const long long from =
        m_nComparedMinute >= 0 && m_nComparedMinute < now ? m_nComparedMinute + 1 : now;
    m_nComparedMinute = now;

    const int w = m_nNextDay - 1;
    if (w < 0 || w >= kDays || !IsValidTimeOfDay(m_nHour[w], m_nMinute[w]))
        return;
    const bool hasWarning = m_nWarnHour[w] != 99;
    const int warnAt = MinuteOfDay(m_nWarnHour[w], m_nWarnMinute[w]);
    const int shutdownAt = MinuteOfDay(m_nHour[w], m_nMinute[w]);
    // A shut-down shortly after midnight is warned of on the evening before.
    const bool warnOnEve = hasWarning && warnAt > shutdownAt;
    const int warnDay = warnOnEve ? (m_nNextDay + 5) % 7 + 1 : m_nNextDay;

    // The dates the covered minutes fall on: the compared time's, and the one before
    // when the cover reaches back over midnight.
    struct tm dates[2] = {lt, {}};
    int nDates = 1;
    if (from < LocalMinuteKey(lt, 0)) {
        struct tm eve = lt;
        eve.tm_mday -= 1;
        eve.tm_hour = 12;
        eve.tm_min = eve.tm_sec = 0;
        eve.tm_isdst = -1;
        const time_t at = m_zone.MakeTime(eve);
        if (at != time_t(-1)) {
            dates[1] = m_zone.Local(CTime(at));
            nDates = 2;
        }
    }

    // Minutes are matched as the clock shows them; a time the clock skips when daylight
    // saving begins is reached at the first minute after the gap.
    bool shutdownDue = false, warningDue = false;
    for (int i = 0; i < nDates; ++i) {
        const struct tm &day = dates[i];
        const int d = day.tm_wday + 1;
        // A date whose shut-down an earlier run requested is done with.
        const bool requested = LocalDateKey(day) == m_nRequestedDate;
        auto covers = [&](int minuteOfDay, ReachedMemo &memo) {
            const int m = ReachedAt(day, minuteOfDay, m_zone, memo);
            const long long key = LocalMinuteKey(day, m);
            return m >= 0 && from <= key && key <= now;
        };
        shutdownDue = shutdownDue ||
                      (d == m_nNextDay && !requested && covers(shutdownAt, m_reachedMemo[1]));
        warningDue = warningDue || (hasWarning && d == warnDay && (warnOnEve || !requested) &&
                                    covers(warnAt, m_reachedMemo[0]));
    }
    // A warning caught up together with its shut-down would only hold the shut-down
    // back; so would one of no time at all, which a daylight-saving gap can make.
    if (!m_bActionPending && warningDue && !shutdownDue) {
        if (UserThere())
            StartWarning();
        return;
    }
    if (shutdownDue && !m_bShuttingDown)
        DoShutdown(FALSE);
}

void CVespraDlg::StartWarning() {
    m_bActionPending = TRUE;
    EnterWaitingState();
    if (m_bUseRegistry)
        WriteCurrShutdownTime(LoadStr(m_bRestart ? IDS_PENDING_RESTART : IDS_PENDING));
    if (m_bShowWarning)
        ShowWarning();
}

void CVespraDlg::ShowWarning() {
    SetDlgItemText(IDOK, LoadStr(IDS_OK));
    ShowDlgItem(IDOK, TRUE);
    ShowDlgItem(IDC_SETTINGS, FALSE);
    ShowDlgItem(IDC_STARTUP_OK, FALSE);
    ShowDlgItem(IDCANCEL, FALSE);
    const int d = GetNextDay();
    const std::string t = FormatTime(m_nHour[d - 1], m_nMinute[d - 1]);
    SetDlgItemText(IDC_MESSAGE, FormatText(LoadStr(m_bRestart ? IDS_WARNING_RESTART : IDS_WARNING),
                                           StrFormat("%u", m_nWarningMinutes), t));
    if (UserThere()) {
        WriteLog("Showing warning");
        ShowOnTop();
        GotoDlgCtrl(IDOK);
        PlayMessageBeep(MB_ICONEXCLAMATION);
    }
}

void CVespraDlg::StartLimitUse() {
    m_bActionPending = TRUE;
    if (m_bUseRegistry)
        WriteCurrShutdownTime(LoadStr(IDS_PENDING));
    ShowDlgItem(IDCANCEL, FALSE);
    EnableDlgItem(IDCANCEL, FALSE);
    ShowDlgItem(IDC_STARTUP_OK, FALSE);
    ShowDlgItem(IDC_SETTINGS, FALSE);
    ShowDlgItem(IDOK, TRUE);
    const CTime at = CTime::GetCurrentTime() + m_tsLimitDelay;
    SetDlgItemText(IDC_MESSAGE, FormatText(LoadStr(IDS_LIMIT_USE), StrFormat("%u", m_nLimitHours),
                                           FormatTime(at.GetHour(), at.GetMinute())));
    m_nCountdown = -kLimitUseTicks;
    m_timeLast = CTime::GetCurrentTime();
    StartSchedulerTimer(kWaitingTickMs);
    WriteLog("Limiting use to 5 minutes");
    GotoDlgCtrl(IDOK);
}

void CVespraDlg::DoShutdown(BOOL bForced) {
    m_bShuttingDown = TRUE;
    KillDosPrograms();
    if (!bForced)
        m_nForceCountdown = kForceCountdown;
    ShowStatus(m_bRestart ? IDS_RESTARTING : IDS_SHUTTING_DOWN);
    if (bForced) {
        // A polite request may still be refused, so the programs stay disabled
        // until Windows is made to go.
        EnableDateTimeControlPanel(true);
        EnableRegistryPrograms(true);
    }
    WriteLastShutdownTime();

    const char *what = m_bRestart ? "Restarting system" : "Shutting down system";
    WriteLog(StrFormat("%s (%s)", what, bForced ? "forced" : "polite"));
    // From session 0 with nobody there, the first request is the forced one.
    const bool forced = bForced || (InSessionZeroMode() && !UserThere());
    if (!forced || !m_bForcedReported)
        ReportShutdownRequested(m_bRestart != FALSE, forced);
    m_bForcedReported = forced;
    if (!forced)
        m_nReportedForcedError = 0;
    UINT flags = m_bRestart ? EWX_REBOOT : EWX_SHUTDOWN | EWX_POWEROFF;
    if (bForced)
        flags |= EWX_FORCE;
    else if (IsWindowsNT())
        flags |= EWX_FORCEIFHUNG; // a hung program can't hold the polite request up

    if (forced) {
        // From session 0 ExitWindowsEx need not shut anything down: the system's own
        // request there.
        CarryForcedRequest(flags, what);
    } else if (!InSessionZeroMode()) {
        DWORD error = 0;
        if (!RequestExitWindows(flags, &error)) {
            WriteLog(StrFormat("%s (polite) failed - error %lu", what, static_cast<unsigned long>(error)));
            ReportShutdownFailed(m_bRestart != FALSE, false, error);
        }
    } else if (!SessionZeroConsoleUser()) {
        // Only remote users: the system asks, after Windows' own notice to them all.
        DWORD error = 0;
        if (!RequestSystemShutdownNotice(m_bRestart, kNoticeSeconds, error)) {
            WriteLog(StrFormat("%s (polite) failed - error %lu", what, static_cast<unsigned long>(error)));
            ReportShutdownFailed(m_bRestart != FALSE, false, error);
        }
    } else if (!RequestShutdownAsUser(flags)) {
        // No agent to ask politely as the user: the forced request follows on time.
        WriteLog("No agent for the polite request");
    }
    // Answers the file-sharing warning that may block the request.
    SetTimer(IDT_SHARING, 1000);
}

DWORD CVespraDlg::RequestForced(UINT flags) {
    DWORD error = 0;
    const BOOL made = InSessionZeroMode() ? RequestSystemShutdown(m_bRestart, error)
                                          : RequestExitWindows(flags, &error);
    // A refusal that gives no reason is still a refusal.
    return made ? 0 : error ? error : DWORD(ERROR_GEN_FAILURE);
}

void CVespraDlg::CarryForcedRequest(UINT flags, const char *what) {
    // At most one more request at once, after clearing what stood in the way; the
    // rest at the next ticks, for as long as the shut-down is due.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD error = RequestForced(flags);
        if (error)
            WriteLog(StrFormat("%s (forced) failed - error %lu", what, static_cast<unsigned long>(error)));
        if (error && error != m_nReportedForcedError)
            ReportShutdownFailed(m_bRestart != FALSE, true, error);
        m_nReportedForcedError = error;
        m_bRepeatForced = error != 0;
        switch (m_forced.Answered(error, MonotonicMs())) {
        case ForcedNext::Done:
        case ForcedNext::Retry:
            return;
        case ForcedNext::ReplaceScheduled:
            WriteLog(AbortScheduledShutdown() ? "Aborted a shutdown scheduled by someone else"
                                              : "Can't abort a shutdown scheduled by someone else");
            break;
        case ForcedNext::EndSession:
            WriteLog("Shutdown held up - ending the user's session");
            // A service's own log-off would end the system's session, not the user's;
            // in session 0 mode the remote users' programs may be the ones holding on.
            if (InSessionZeroMode() && LogOffSessionZeroUsers())
                break;
            if (m_bServiceMode || InSessionZeroMode())
                LogOffConsoleSession();
            else
                RequestExitWindows(EWX_LOGOFF | EWX_FORCE);
            break;
        }
    }
}

void CVespraDlg::ShowStatus(UINT stringId) {
    SetDlgItemText(IDC_MESSAGE, LoadStr(stringId));
    ShowDlgItem(IDOK, FALSE);
    ShowDlgItem(IDC_SETTINGS, FALSE);
    ShowDlgItem(IDC_STARTUP_OK, FALSE);
    ShowDlgItem(IDCANCEL, FALSE);
    if (UserThere()) {
        ShowOnTop();
        RedrawNow();
        PlayMessageBeep(MB_ICONEXCLAMATION);
    }
}

void CVespraDlg::KillDosPrograms() {
    if (!m_bKillDosApps)
        return;
    if (KillDosProcesses())
        WriteLog("Found & killed DOS program");
}
