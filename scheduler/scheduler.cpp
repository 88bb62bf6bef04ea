// The scheduler dialog: construction, start-up, and the computations of the next
// shut-down that the timer and the handlers use.
#include "scheduler/scheduler.h"

#include <algorithm>
#include <climits>

#include "framework/app.h"
#include "framework/clock.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "settings/policy.h"
#include "settings/run_state.h"
#include "system/event_log.h"
#include "system/log.h"
#include "system/logon.h"
#include "system/platform.h"
#include "session/agent.h"
#include "system/os.h"
#include "system/program_disable.h"
#include "system/time_zone.h"
#include "ui/password_dlg.h"
#include "ui/settings_dlg.h"

namespace {
// String ids of "on <weekday> at %1", by day index 1..7 (Sunday first).
const UINT kOnDayIds[kDays] = {IDS_ON_SUNDAY,   IDS_ON_MONDAY, IDS_ON_TUESDAY, IDS_ON_WEDNESDAY,
                               IDS_ON_THURSDAY, IDS_ON_FRIDAY, IDS_ON_SATURDAY};

int ClampToInt(UINT n) {
    return int(std::min<UINT>(n, INT_MAX));
}

bool MinuteExists(const struct tm &day, int minuteOfDay, const ScheduleZone &zone) {
    struct tm t = {};
    t.tm_year = day.tm_year;
    t.tm_mon = day.tm_mon;
    t.tm_mday = day.tm_mday;
    t.tm_hour = minuteOfDay / 60;
    t.tm_min = minuteOfDay % 60;
    t.tm_isdst = -1;
    const time_t at = zone.MakeTime(t);
    if (at == time_t(-1))
        return false;
    // A skipped time comes back normalised to another hour (or minute).
    const struct tm back = zone.Local(CTime(at));
    return back.tm_year == day.tm_year && back.tm_mon == day.tm_mon &&
           back.tm_mday == day.tm_mday && back.tm_hour == minuteOfDay / 60 &&
           back.tm_min == minuteOfDay % 60;
}
} // namespace

int ReachedAtMinute(const struct tm &day, int minuteOfDay, const ScheduleZone &zone) {
    for (int m = minuteOfDay; m >= 0 && m < 24 * 60; ++m)
        if (MinuteExists(day, m, zone))
            return m;
    return -1;
}

CVespraDlg::CVespraDlg(CDialog *parent, BOOL bSettingsMode, BOOL bServiceMode, BOOL bAlreadyRunning)
    : CDialog(IDD_VESPRA_DIALOG, parent), m_tsLimitDelay(300), m_tsTimeTolerance(60),
      m_bSettingsMode(bSettingsMode), m_bServiceMode(bServiceMode),
      m_bAlreadyRunning(bAlreadyRunning) {
    if (IsWindowsNT())
        EnableShutdownPrivilege();
    ReadLocale();
    SetDefaults();
    m_nCountdown = ClampToInt(m_nWelcomeTime);
    GetMachineTimeZoneName(m_sStartZone);
    m_sMachineZone = m_sStartZone;
    // Never unset: the first waiting tick compares it with the clock.
    m_timeLast = CTime::GetCurrentTime();
    CompareFrom(m_timeLast);
}

void CVespraDlg::SetDefaults() {
    m_bShutdown = 1;
    m_bRestart = 0;
    m_bAmWarn = 1;
    m_bKillDosApps = 0;
    for (int d = 0; d < kDays; ++d) {
        m_nHour[d] = 23;
        m_nMinute[d] = 0;
        m_bDay[d] = d <= 4 ? 1 : 0; // Sunday to Thursday
    }
    m_sPassword = PasswordLock();
    m_bWelcome = 1;
    m_nWelcomeTime = 10;
    m_bLimit = 0;
    m_nLimitHours = 9;
    m_bShowWarning = 1;
    m_nWarningMinutes = 5;
    ComputeWarningTimes();
    m_nNextDay = GetNextDay();
    m_bDisableCpl = 0;
    m_bDisableRegPgms = 0;
    // Times set now are the machine's zone's.
    GetMachineTimeZoneName(m_sTimeZone);
}

void CVespraDlg::ComputeWarningTimes() {
    // Whole days don't change the time of day, and keep the arithmetic in range for
    // any stored warning period.
    const int64_t lead = int64_t(m_nWarningMinutes % (24 * 60)) * 60;
    for (int d = 0; d < kDays; ++d) {
        // A warning in the shut-down's own minute would be no warning at all, and it
        // would hide the shut-down time from the timer: none.
        if (!IsValidTimeOfDay(m_nHour[d], m_nMinute[d]) || lead == 0) {
            m_nWarnHour[d] = 99;
            m_nWarnMinute[d] = 99;
            continue;
        }
        CTime warn = CTime(1971, 1, 1, m_nHour[d], m_nMinute[d], 0) - CTimeSpan(lead);
        m_nWarnHour[d] = warn.GetHour();
        m_nWarnMinute[d] = warn.GetMinute();
    }
}

int CVespraDlg::GetNextDay() const {
    const struct tm now = m_zone.Local(CTime::GetCurrentTime());
    const int w = now.tm_wday;
    const int h = now.tm_hour, m = now.tm_min;

    int first = (w + 6) % 7;
    for (int i = 0; i < 7; ++i)
        if (m_bDay[(w + i) % 7]) {
            first = (w + i) % 7;
            break;
        }
    int second = w;
    for (int i = 1; i <= 7; ++i)
        if (m_bDay[(w + i) % 7]) {
            second = (w + i) % 7;
            break;
        }

    if (first != w)
        return first + 1;
    bool passed = h > m_nHour[w] || (h == m_nHour[w] && m > m_nMinute[w]);
    if (IsValidTimeOfDay(m_nHour[w], m_nMinute[w])) {
        // A time the clock skips today is reached at the first minute after the gap.
        const int at = ReachedAtMinute(now, m_nHour[w] * 60 + m_nMinute[w], m_zone);
        passed = at < 0 || h * 60 + m > at;
    }
    return passed ? second + 1 : w + 1;
}

std::string CVespraDlg::MakeNextTimeText() {
    const int d = GetNextDay();
    const std::string t = FormatTime(m_nHour[d - 1], m_nMinute[d - 1]);
    UINT id;
    if (d == m_zone.Local(CTime::GetCurrentTime()).tm_wday + 1)
        id = m_nHour[d - 1] <= 18 ? IDS_TODAY_AT : IDS_TONIGHT_AT;
    else
        id = kOnDayIds[d - 1];
    const std::string text = FormatText(LoadStr(id), t);

    WriteStatusValue("curr_restarting", DWORD(m_bRestart));
    WriteStatusValue("curr_useregistry", DWORD(m_bUseRegistry));
    WriteCurrShutdownTime(text);
    return text;
}

void CVespraDlg::ShowCountdown(UINT seconds) {
    seconds = std::min(seconds, m_nWelcomeTime);
    SetDlgItemText(IDC_MESSAGE,
                   FormatText(LoadStr(m_bRestart ? IDS_COUNTDOWN_RESTART : IDS_COUNTDOWN),
                              MakeNextTimeText(), StrFormat("%u", seconds)));
}

void CVespraDlg::EnterWaitingState() {
    m_bStartupPhase = FALSE;
    m_nCountdown = 0;
    ShowDlgItem(IDCANCEL, FALSE);
    EnableDlgItem(IDCANCEL, FALSE);
    ShowDlgItem(IDC_STARTUP_OK, FALSE);
    ShowDlgItem(IDC_SETTINGS, FALSE);
    ShowDlgItem(IDOK, TRUE);
    SetDlgItemText(IDC_MESSAGE,
                   FormatText(LoadStr(m_bRestart ? IDS_SCHEDULED_RESTART : IDS_SCHEDULED),
                              MakeNextTimeText()));
    KillTimer(IDT_SCHEDULER);
    Hide();
    // Once the clock has been found changed, it no longer tells the time.
    if (m_bDetectTimeChange)
        m_timeLast = CTime::GetCurrentTime();
    if (!StartSchedulerTimer(20000))
        return; // the dialog is ending: leave the programs enabled
    if (m_bDisableCpl)
        EnableDateTimeControlPanel(false);
    if (m_bDisableRegPgms)
        EnableRegistryPrograms(false);
}

bool CVespraDlg::IsLimitUseDue() const {
    if (m_bRestart || m_bLimit != 1 || m_nLimitHours == 0)
        return false;
    const CTime now = CTime::GetCurrentTime();
    const CTimeSpan window(int64_t(m_nLimitHours) * 3600);
    auto dueAfter = [&](const CTime &at) {
        const struct tm day = m_zone.Local(at);
        const int d = day.tm_wday;
        if (!m_bDay[d] || !IsValidTimeOfDay(m_nHour[d], m_nMinute[d]))
            return false;
        const CTime t = m_zone.At(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday, m_nHour[d],
                                  m_nMinute[d], 0);
        return t <= now && now < t + window;
    };
    return dueAfter(now - CTimeSpan(86400)) || dueAfter(now);
}

SettingsDlgData CVespraDlg::GetData() {
    SettingsDlgData data;
    data.bShutdown = m_bShutdown;
    data.bRestart = m_bRestart;
    data.bAmWarn = m_bAmWarn;
    data.bKillDosApps = m_bKillDosApps;
    if (m_sTimeSep.empty()) {
        AfxMessageBox("CVespraDlg::GetData: m_sTimeSep was uninitialized", MB_OK);
        ReadLocale();
    }
    data.b24Hour = m_b24Hour;
    data.sTimeSep = m_sTimeSep;
    data.sPassword = m_sPassword;
    return data;
}

BOOL CVespraDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    MoveDlgItem(IDC_SETTINGS, GetDlgItemRect(IDOK));

    m_policyWatch = std::make_unique<RegChangeWatch>(kPoliciesKey);
    if (!ReadRegistry()) {
        if (ReadIni()) {
            m_bUseRegistry = FALSE; // a network client: the INI file is its only store
        } else {
            SetDefaults();
            WriteRegistry();
        }
    }
    TakePolicy(ReadPolicyValues());
    UseStoredZone();
    // A hand-edited countdown must not hold off the schedule: the timer compares no
    // schedule while a user watches the countdown.
    m_nWelcomeTime = std::clamp(m_nWelcomeTime, kMinWelcomeTime, kMaxWelcomeTime);
    ComputeWarningTimes();
    m_nNextDay = GetNextDay();

    const bool actionOff = !m_bShutdown && !m_bRestart;
    if (!m_bUseRegistry && actionOff) {
        // A network client whose shared settings say Off has nothing to schedule, and
        // it has no settings of its own to open.
        StopServiceIfServiceMode();
        EndDialog(IDOK);
        return TRUE;
    }
    if (m_bUseRegistry && (m_bSettingsMode || actionOff)) {
        DWORD wait = 0;
        const PasswordAnswer answer =
            m_sPassword.IsSet() ? AskPassword(FALSE, m_sPassword, wait) : PasswordAnswer::Right;
        if (answer != PasswordAnswer::Right) {
            if (answer == PasswordAnswer::Wrong)
                ShowMessage(IDS_WRONG_PASSWORD_SETTINGS, MB_ICONHAND);
            else if (answer == PasswordAnswer::Waiting)
                ShowMessage(PasswordWaitText(wait), MB_ICONEXCLAMATION);
            StopServiceIfServiceMode();
            EndDialog(IDOK);
            return TRUE;
        }
        if (m_sTimeSep.empty()) {
            AfxMessageBox("CVespraDlg::OnInitDialog: m_sTimeSep was uninitialized", MB_OK);
            ReadLocale();
        }
        if (!EditSettings()) {
            StopServiceIfServiceMode();
            EndDialog(IDOK);
            return TRUE;
        }
        BOOL iniWritten = FALSE, notStored = FALSE;
        if (IsAltKeyDown()) {
            if (WriteIni())
                ReportSettingsChanged(SettingsSource::IniFile);
            iniWritten = TRUE;
        } else if (m_bUseRegistry) {
            notStored = !WriteRegistry();
            if (!notStored)
                ReportSettingsChanged(SettingsSource::Dialog);
        }
        // Settings that were not stored must not be offered as started: a restarted
        // service would run the old ones.
        if ((!m_bShutdown && !m_bRestart) || iniWritten || notStored) {
            StopServiceIfServiceMode();
            EndDialog(IDOK);
            return TRUE;
        }
        if (ShowMessage(IDS_START_NOW, MB_YESNO | MB_ICONINFORMATION) != IDYES) {
            StopServiceIfServiceMode();
            EndDialog(IDOK);
            return TRUE;
        }
        if (IsWindowsNT()) {
            // The service restarts the scheduler with the new settings.
            m_bNoServiceStopOnExit = TRUE;
            UtilServiceControl(Restart);
            EndDialog(IDOK);
            return TRUE;
        }
    }

    // From here on the schedule is enforced: a box nobody answers must not hold it up.
    SetMessageBoxTimeLimit(kUnansweredBoxMs);

    // A day's shut-down is requested once: not again by a scheduler that starts right
    // after its own restart request, nor when the clock goes back for the end of
    // daylight saving time and shows the scheduled time a second time. The next day is
    // then the next enabled one, never a day that is off.
    CTime last;
    ReadLastShutdownTime(last);
    if (TodaysShutdownRequested(last)) {
        // When today is the only day, the next one is today's index again: a week on,
        // not this evening's time a second time.
        m_nRequestedDate = LocalDateKey(m_zone.Local(CTime::GetCurrentTime()));
        m_nNextDay = NextEnabledDayAfterToday();
    }

    ReportSchedulerStarted(InSessionZeroMode() != FALSE,
                           m_bRestart ? NextAction::Restart
                                      : m_bShutdown ? NextAction::ShutDown : NextAction::Off,
                           MakeNextTimeText());
    if (InSessionZeroMode() && SetTimer(IDT_SESSION_WATCH, kSessionWatchMs) != IDT_SESSION_WATCH) {
        EndForTimerFailure();
        return TRUE;
    }
    const bool loggedOn = UserThere();
    m_nUserSeenMs = MonotonicMs();
    m_timeLast = CTime::GetCurrentTime();
    CompareFrom(m_timeLast);

    if (m_bWelcome) {
        m_nCountdown = ClampToInt(m_nWelcomeTime);
        if (!m_bUseRegistry)
            ShowDlgItem(IDC_SETTINGS, FALSE);
        GotoDlgCtrl(IDC_STARTUP_OK);
        ShowCountdown(UINT(m_nCountdown));
        if (loggedOn) {
            // A zero-second countdown must not turn into the limit-use count.
            if (m_nCountdown > 0)
                --m_nCountdown;
            ShowOnTop();
        } else {
            Hide(); // the countdown waits for a log-on
        }
        StartSchedulerTimer(1000);
        return FALSE;
    }

    SetDlgItemText(IDC_MESSAGE,
                   FormatText(LoadStr(m_bRestart ? IDS_SCHEDULED_RESTART : IDS_SCHEDULED),
                              MakeNextTimeText()));
    Hide();
    m_nCountdown = 0;
    if (!StartSchedulerTimer(1000))
        return TRUE;
    if (m_bDisableCpl)
        EnableDateTimeControlPanel(false);
    if (m_bDisableRegPgms)
        EnableRegistryPrograms(false);
    return TRUE;
}

bool CVespraDlg::TodaysShutdownRequested(const CTime &lastRequest) const {
    const struct tm now = m_zone.Local(CTime::GetCurrentTime());
    const int w = now.tm_wday;
    if (!lastRequest.IsSet() || m_nNextDay != w + 1 || !IsValidTimeOfDay(m_nHour[w], m_nMinute[w]))
        return false;
    // The recorded time is the local wall-clock time of the request, so its date and
    // minute are compared as the clock showed them.
    const struct tm last = m_zone.Local(lastRequest);
    const int at = ReachedAtMinute(now, m_nHour[w] * 60 + m_nMinute[w], m_zone);
    return at >= 0 && last.tm_year == now.tm_year && last.tm_yday == now.tm_yday &&
           last.tm_hour * 60 + last.tm_min >= at;
}

int CVespraDlg::NextEnabledDayAfterToday() const {
    const int w = m_zone.Local(CTime::GetCurrentTime()).tm_wday;
    for (int i = 1; i <= 7; ++i)
        if (m_bDay[(w + i) % 7])
            return (w + i) % 7 + 1;
    return w % 7 + 1;
}

BOOL CVespraDlg::OnCommand(UINT id, UINT notifyCode) {
    switch (id) {
    case IDC_SETTINGS:
        OnOptions();
        return TRUE;
    case IDC_STARTUP_OK:
        OnStartupOK();
        return TRUE;
    default:
        return CDialog::OnCommand(id, notifyCode);
    }
}

int CVespraDlg::ShowMessage(const std::string &text, UINT type) {
    return MessageBox(text, LoadStr(IDS_VESPRA), type);
}

int CVespraDlg::ShowMessage(UINT stringId, UINT type) {
    return ShowMessage(LoadStr(stringId), type);
}

BOOL CVespraDlg::EditSettings() {
    CSettingsDlg settings(GetData(), nullptr);
    CopyToSettingsDlg(settings);
    const int result = settings.DoModal();
    // A dialog that could not be shown (-1) changes nothing, like a cancel.
    if (result == IDCANCEL || result == -1)
        return FALSE;
    CopyFromSettingsDlg(settings);
    return TRUE;
}

BOOL CVespraDlg::StartSchedulerTimer(UINT elapseMs) {
    if (SetTimer(IDT_SCHEDULER, elapseMs) == IDT_SCHEDULER) {
        m_tsTick = CTimeSpan(elapseMs / 1000);
        // A pause of the timer (a dialog waiting for the user) is no sleep.
        m_nCounterLast = MonotonicMs();
        m_bAwakeKnown = AwakeMs(m_nAwakeLast);
        return TRUE;
    }
    EndForTimerFailure();
    return FALSE;
}

void CVespraDlg::EndForTimerFailure() {
    ShowMessage(IDS_SETTIMER_FAILED, MB_ICONHAND);
    StopServiceIfServiceMode();
    EndDialog(IDOK);
}

void CVespraDlg::StopServiceIfServiceMode() {
    if (m_bServiceMode)
        UtilServiceControl(Stop);
}

void CVespraDlg::UseStoredZone() {
    m_reachedMemo[0] = m_reachedMemo[1] = ReachedMemo();
    ZoneRules rules;
    if (m_sTimeZone.empty() || m_sTimeZone == m_sStartZone) {
        // The zone the C library has been converting in since the start.
        m_zone.UseLibrary();
    } else if (ReadZoneRules(m_sTimeZone, rules)) {
        m_zone.Use(m_sTimeZone, rules);
    } else {
        m_zone.UseLibrary();
        WriteLog(StrFormat("Time zone %s not found - the schedule keeps %s", m_sTimeZone.c_str(),
                           m_sStartZone.c_str()));
    }
}

void CVespraDlg::FollowMachineZone() {
    std::string now;
    if (!GetMachineTimeZoneName(now) || now == m_sMachineZone)
        return;
    ReportTimeZoneChanged(m_sMachineZone, now, ScheduleZoneName());
    m_sMachineZone = now;
    WriteLog(StrFormat("Time zone changed to %s - the schedule keeps %s", now.c_str(),
                       ScheduleZoneName().c_str()));
}

std::string CVespraDlg::ScheduleZoneName() const {
    return m_zone.HasOwnRules() ? m_zone.Name() : m_sStartZone;
}
