// vespra_sim: the real scheduler (CVespraDlg over the in-memory backend) run for
// many simulated days per time zone, with random schedules, late ticks, clock
// steps, suspends, log-offs and log-ons, and a machine that goes down and comes
// back after every request. Every request is checked against the schedule.
//
//   vespra_sim [--days N] [--seed S] [--zones a,b] [--start YYYY-MM-DD] [--require-dst]
//              [--break stop-timer|skip-warning|request-twice] [--verbose] [--trace]
//   vespra_sim --hibernate-nightly N [--zones a,b] [--start YYYY-MM-DD] [--trace]
//
// --hibernate-nightly: one scheduler process per zone lives through N days of a
// machine shut down every evening with fast start-up (the user logged off, session 0
// hibernated from 18:00 to 07:00, the user logged on again); its time, every day at
// 20:00, is only reached on the last evening, when the machine stays on. Prints
//   hibernate: days=N zones=Z own_time_lag=Ls ...
// where the lag is how much later than the first tick of its minute the request
// came: the scheduler's own time behind the clock, seen from outside. Exit 1 when
// it is not 0.
//
// Each zone starts ten days before its first change of daylight saving time after
// the start date (default 2026-01-01). --require-dst fails a run that had no request
// in a skipped and none in a repeated hour. --break runs a scheduler broken on purpose
// (see BrokenDlg), which the checker must fail. --verbose lists every fault, not 12;
// --trace prints the events and requests. Prints one line per zone and the summary
//   sim: days=N zones=Z seed=S requests=R missed=0 repeated=0 unscheduled=0 ...
// and exits 1 when any fault count is not 0.
//
// Time: `real` is the machine's own time base (timers, uptime, suspends), and the
// counter the scheduler reads (MonotonicMs) follows it; the wall clock the scheduler
// reads is real + offset, and a clock step moves the offset. A suspend moves real time
// on with no timer running; what was to happen meanwhile (a log-on, a log-off, the
// machine going down) happens that much later.
// Timers tick on a fixed grid of their interval, each tick 0-5 s late (0-1 s for the
// 1-s timer); ticks that fall due while one is late merge, as WM_TIMER does.
//
// A request ends the run as Windows would: after the polite request the session ends
// a few seconds later (or, when the request is refused, after the forced one), with
// WM_ENDSESSION, and the process is gone. The machine then starts again as the
// service starts the scheduler: a new process (no windows; the registry, with the
// settings and the run-state values, stays) and a new CVespraDlg in service mode,
// after 15-150 s for a restart, and for a shut-down after seconds (within the
// minute), hours, the next morning or days. Settings change between runs now and
// then, as the settings dialog would write them, and around each change of daylight
// saving time a day's time is put into the hour skipped or repeated.
//
// The checker sees what an observer outside the scheduler sees: the schedule it
// stored, the clock, the events it injects, the timers' ticks, the requests through
// the platform seam, and the warning on the screen (the warning text shown, with its
// beep). It reads nothing of the dialog's state. Its rules:
// - The times due in a run: every enabled day's time as the clock shows it, from the
//   start's own minute on; a time the clock skips (daylight saving begins) is reached
//   at the first minute after the gap, one it repeats is due at each pass. A day's
//   time is requested once: not again on the start's date when the last request
//   recorded was on that date at or after the time (excuse "requested_already").
// - Each time due gets exactly one polite request, by the clock at or after its
//   minute and by its deadline: 26 s (a 20-s tick, 5 s late, rounded up) after the
//   minute or the start, whichever is later. No request comes at any other time. A
//   log-on moves the deadline to the log-on + N + 30 s (the next tick sees it, then
//   the N-s countdown compares nothing); a step of the clock or a short suspension
//   from after the minute less 60 s moves it by its size (the minute it jumps over is
//   caught up at the next compare). A time not requested by its deadline is missed,
//   also when the timer was stopped or the scheduler ended.
// - A suspension is a resume for the scheduler when, at the first tick of timer 99
//   after it, the counter moved more than the timer's interval + 60 s since the last
//   tick (or the start); shorter, it is a short suspension, within the tolerance. At a
//   resume a time whose minute began before the resume tick's minute is not due
//   (excuse "slept_through"), as with a machine that was off, nor is a second pass of
//   it in a repeated hour; a later one, or one in the resume's own minute, is due as
//   at a start: by 26 s after its minute or the resume. No excuse covers a
//   suspension any more: the clock stays trusted.
// - Limit use (a shut-down schedule with limit use on): the notice on the screen must
//   come at the first tick after a resume that sees a user there (no log-off since
//   the resume), when the clock is then within the limit-use hours after an enabled
//   day's time. A notice may come only within those hours, and takes over the time
//   due (excuse "limit_use"); its polite request comes at the 15th tick of timer 99
//   after it (earlier when a resume came between), not later.
// - The clock is trusted until a step of more than 54 s (the 60-s tolerance less the
//   5 s a tick may come late; two changes between ticks count as one, a short
//   suspension as far as it moved the clock past the tick's interval). From then on
//   the scheduler may go by its own time, moving by the timer's interval a tick and
//   by the real time of a resume, so the time due in that run is not judged by the
//   clock (excuse "clock_changed"). Its request must still come within a margin of a
//   scheduled time by such an own time from one of the changes on, or by the clock
//   from just before the last change on (a minute the clock passed then is caught up).
// - A forced request comes only after a polite one in the same run, and a polite one
//   the session refused is followed by a forced one within 200 s (6 ticks to go) of
//   the machine's running time.
// - The warning, where the settings ask for one: a user logged on and undisturbed
//   since a minute (and a countdown) before the warning's minute sees it within 26 s
//   of that minute. Excused: a start, a log-on or log-off or a change of the clock in
//   that stretch ("warning_unwatched"), nobody logged on ("warning_nobody"), and a
//   warning whose minute is the shut-down's own, as a gap can make it
//   ("warning_same_minute").
// - A run that the simulation's end cuts after a time's minute, before its deadline,
//   is not judged ("sim_end").
// Summary fields: requests (polite), forced, warned (warnings checked and seen in
// time), the faults, each of which fails the run (missed, repeated, unscheduled,
// unforced, unwarned, warn_late), late_* (seconds from the scheduled minute to the
// request, where nothing moved the deadline), suspend_delay_max (seconds from the
// scheduled minute, or the resume when that came later, to the request, for the times
// due after a suspension in the run, unless a log-on's countdown or a step of the
// clock moved the deadline), the excuses with their counts, and counts for the record.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "framework/text.h"
#include "framework/win32_types.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_os.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_ui.h"

namespace {

constexpr long kDay = 86400;
constexpr int kMaxTickLate = 5; // seconds a 20-s WM_TIMER may come late
constexpr long kTickSlack = 26; // a 20-s tick, kMaxTickLate late, rounded up
// A step of the clock or a suspension the 60-s tolerance lets through, whatever the
// ticks' lateness.
constexpr long kMaxSmallChange = 54;
constexpr long kTolerance = 60; // the scheduler's tolerance of the clock and the counter
constexpr long kForcedWithin = 200;
constexpr long kLimitUseTicks = 15; // the notice's 5 minutes, in 20-s ticks

// ---- Local time, as the checker computes it ------------------------------------

struct tm Local(time_t t) {
    struct tm r = {};
    localtime_r(&t, &r);
    return r;
}

int DateKey(const struct tm &t) {
    return (t.tm_year + 1900) * 400 + t.tm_yday;
}

int MinuteOf(const struct tm &t) {
    return t.tm_hour * 60 + t.tm_min;
}

// The instants at which the local clock shows date `day` at minute m, second 0: none
// in a skipped hour, two in a repeated one.
std::vector<time_t> InstantsOf(const struct tm &day, int m) {
    std::vector<time_t> found;
    for (int dst : {0, 1}) {
        struct tm t = {};
        t.tm_year = day.tm_year;
        t.tm_mon = day.tm_mon;
        t.tm_mday = day.tm_mday;
        t.tm_hour = m / 60;
        t.tm_min = m % 60;
        t.tm_isdst = dst;
        const time_t at = mktime(&t);
        const struct tm back = Local(at);
        if (at != time_t(-1) && back.tm_mday == day.tm_mday && MinuteOf(back) == m &&
            back.tm_sec == 0 && std::find(found.begin(), found.end(), at) == found.end())
            found.push_back(at);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The minute at which a time of day is reached on a date: itself, or the first
// minute after a gap that skips it; -1 if the date has none.
int Reached(const struct tm &day, int m) {
    for (; m < 24 * 60; ++m)
        if (!InstantsOf(day, m).empty())
            return m;
    return -1;
}

// Noon of the date `days` after that of t (local), broken down.
struct tm DateAfter(const struct tm &t, int days) {
    struct tm n = {};
    n.tm_year = t.tm_year;
    n.tm_mon = t.tm_mon;
    n.tm_mday = t.tm_mday + days;
    n.tm_hour = 12;
    n.tm_isdst = -1;
    return Local(mktime(&n));
}

// ---- Random ------------------------------------------------------------------

class Rng {
public:
    explicit Rng(uint64_t seed) : m_gen(seed) {}
    double U() { return std::uniform_real_distribution<double>(0, 1)(m_gen); }
    long Int(long lo, long hi) { return std::uniform_int_distribution<long>(lo, hi)(m_gen); }
    bool Chance(double p) { return U() < p; }
    // Log-uniform over [lo, hi].
    long LogInt(long lo, long hi) {
        return long(std::exp(std::log(lo) + U() * std::log(double(hi) / lo)));
    }
    long Exp(double mean) {
        return long(std::exponential_distribution<double>(1.0 / mean)(m_gen)) + 1;
    }

private:
    std::mt19937_64 m_gen;
};

// ---- Schedule ----------------------------------------------------------------

struct Schedule {
    bool restart = false;
    bool day[7] = {};
    int minute[7] = {}; // minutes since midnight
    UINT warnMinutes = 5;
    bool showWarning = true;
    bool welcome = true;
    UINT welcomeSecs = 10;
    bool limit = false;
    UINT limitHours = 0;
};

int RandomMinute(Rng &rng) {
    const double r = rng.U();
    if (r < 0.3)
        return int(rng.Int(0, 24 * 60 - 1));
    if (r < 0.65)
        return int(rng.Int(0, 4 * 60 - 1)); // the hours daylight saving moves
    return int(rng.Int(21 * 60, 24 * 60 - 1));
}

// Limit use is drawn from a stream of its own, so that the rest of a seed's run stays
// as it was without it.
Schedule RandomSchedule(Rng &rng, Rng &limitRng) {
    Schedule s;
    s.restart = rng.Chance(0.3);
    bool any = false;
    for (int d = 0; d < 7; ++d) {
        s.day[d] = rng.Chance(0.7);
        any = any || s.day[d];
        s.minute[d] = RandomMinute(rng);
    }
    if (!any)
        s.day[rng.Int(0, 6)] = true;
    const UINT warns[] = {0, 1, 2, 5, 5, 10, 15, 30, 60, 90};
    s.warnMinutes = warns[rng.Int(0, 9)];
    s.showWarning = rng.Chance(0.8);
    s.welcome = rng.Chance(0.8);
    s.welcomeSecs = UINT(rng.Chance(0.5) ? 10 : rng.Int(1, 30));
    s.limit = limitRng.Chance(0.3);
    const UINT hours[] = {1, 2, 4, 9, 12};
    s.limitHours = hours[limitRng.Int(0, 4)];
    return s;
}

// Stores the schedule as the settings dialog would, for the next start to read.
void StoreSchedule(const Schedule &s) {
    CVespraDlg writer(nullptr, FALSE, TRUE, FALSE);
    writer.m_bShutdown = s.restart ? 0 : 1;
    writer.m_bRestart = s.restart ? 1 : 0;
    for (int d = 0; d < 7; ++d) {
        writer.m_bDay[d] = s.day[d];
        writer.m_nHour[d] = s.minute[d] / 60;
        writer.m_nMinute[d] = s.minute[d] % 60;
    }
    writer.m_nWarningMinutes = s.warnMinutes;
    writer.m_bShowWarning = s.showWarning;
    writer.m_bWelcome = s.welcome;
    writer.m_nWelcomeTime = s.welcomeSecs;
    writer.m_bLimit = s.limit;
    writer.m_nLimitHours = s.limitHours;
    writer.WriteRegistry();
}

// Whether the clock at `now` is within the limit-use hours after an enabled day's
// time, today's or yesterday's, that time taken as the clock shows it.
bool LimitUseDue(const Schedule &s, time_t now) {
    if (s.restart || !s.limit || s.limitHours == 0)
        return false;
    for (time_t dayOf : {now - kDay, now}) {
        const struct tm day = Local(dayOf);
        if (!s.day[day.tm_wday])
            continue;
        struct tm t = {};
        t.tm_year = day.tm_year;
        t.tm_mon = day.tm_mon;
        t.tm_mday = day.tm_mday;
        t.tm_hour = s.minute[day.tm_wday] / 60;
        t.tm_min = s.minute[day.tm_wday] % 60;
        t.tm_isdst = -1;
        const time_t at = mktime(&t);
        if (at <= now && now < at + long(s.limitHours) * 3600)
            return true;
    }
    return false;
}

// ---- The scheduler, broken on purpose ------------------------------------------

// --break: a fault put into the real scheduler from outside, which the checker must
// catch. None runs it as it is.
enum class Fault { None, StopTimer, SkipWarning, RequestTwice };
Fault g_fault = Fault::None;

class BrokenDlg : public CVespraDlg {
public:
    BrokenDlg() : CVespraDlg(nullptr, FALSE, TRUE, FALSE) {}
    BOOL OnInitDialog() override {
        const BOOL r = CVespraDlg::OnInitDialog();
        if (g_fault == Fault::SkipWarning)
            m_bShowWarning = FALSE;
        return r;
    }
    void OnTimer(UINT_PTR id) override {
        std::vector<UINT> &calls = fake::Plat().exitWindowsCalls;
        const size_t before = calls.size();
        CVespraDlg::OnTimer(id);
        if (id != IDT_SCHEDULER)
            return;
        // Half an hour into every run, the timer stops.
        if (g_fault == Fault::StopTimer && ++m_ticks == 100)
            KillTimer(IDT_SCHEDULER);
        if (g_fault == Fault::RequestTwice && calls.size() > before && !(calls.back() & EWX_FORCE))
            DoShutdown(FALSE);
    }

private:
    long m_ticks = 0;
};

// ---- Results -----------------------------------------------------------------

// The rules that let a time pass without its request, or a request or warning go
// unchecked by the clock; see the top of the file.
enum Excuse {
    kClockChanged,
    kSleptThrough,
    kLimitUse,
    kRequestedAlready,
    kSimEnd,
    kWarningUnwatched,
    kWarningNobody,
    kWarningSameMinute,
    kExcuses
};
const char *const kExcuseNames[kExcuses] = {
    "clock_changed", "slept_through",     "limit_use",      "requested_already",
    "sim_end",       "warning_unwatched", "warning_nobody", "warning_same_minute"};

struct Stats {
    long days = 0, boots = 0, requests = 0, forced = 0, warned = 0, ticks = 0, fastTicks = 0;
    long missed = 0, repeated = 0, unscheduled = 0, unforced = 0, unwarned = 0, warnLate = 0;
    long excused[kExcuses] = {};
    long dstGapRequests = 0, dstRepeatedHourRequests = 0, dstRepeatedHourBoots = 0;
    long resumes = 0, shortSuspends = 0, limitUseRequests = 0;
    long suspendDelayMax = -1; // seconds; -1: no time due after a suspension
    std::vector<int> lateness; // seconds into the scheduled minute
    std::vector<std::string> notes;

    void Add(const Stats &o) {
        days += o.days, boots += o.boots, requests += o.requests, forced += o.forced;
        warned += o.warned;
        ticks += o.ticks, fastTicks += o.fastTicks;
        missed += o.missed, repeated += o.repeated, unscheduled += o.unscheduled;
        unforced += o.unforced, unwarned += o.unwarned, warnLate += o.warnLate;
        for (int i = 0; i < kExcuses; ++i)
            excused[i] += o.excused[i];
        dstGapRequests += o.dstGapRequests, dstRepeatedHourRequests += o.dstRepeatedHourRequests;
        dstRepeatedHourBoots += o.dstRepeatedHourBoots;
        resumes += o.resumes, shortSuspends += o.shortSuspends;
        limitUseRequests += o.limitUseRequests;
        suspendDelayMax = std::max(suspendDelayMax, o.suspendDelayMax);
        lateness.insert(lateness.end(), o.lateness.begin(), o.lateness.end());
        notes.insert(notes.end(), o.notes.begin(), o.notes.end());
    }
    long Faults() const { return missed + repeated + unscheduled + unforced + unwarned + warnLate; }
};

std::string Percentiles(std::vector<int> v) {
    if (v.empty())
        return "late_min=-s late_median=-s late_p99=-s late_max=-s";
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
    };
    char buf[160];
    snprintf(buf, sizeof buf, "late_min=%ds late_median=%ds late_p99=%ds late_max=%ds", v.front(),
             at(0.5), at(0.99), v.back());
    return buf;
}

std::string Fields(const Stats &s) {
    char buf[600];
    snprintf(
        buf, sizeof buf,
        "requests=%ld forced=%ld warned=%ld missed=%ld repeated=%ld unscheduled=%ld unforced=%ld "
        "unwarned=%ld warn_late=%ld %s suspend_delay_max=%s excused:",
        s.requests, s.forced, s.warned, s.missed, s.repeated, s.unscheduled, s.unforced, s.unwarned,
        s.warnLate, Percentiles(s.lateness).c_str(),
        s.suspendDelayMax < 0 ? "-" : (std::to_string(s.suspendDelayMax) + "s").c_str());
    std::string out = buf;
    for (int i = 0; i < kExcuses; ++i)
        out += " " + std::string(kExcuseNames[i]) + "=" + std::to_string(s.excused[i]);
    snprintf(buf, sizeof buf,
             " boots=%ld resumes=%ld short_suspends=%ld limit_use_requests=%ld "
             "dst_gap_requests=%ld dst_repeated_hour_requests=%ld "
             "dst_repeated_hour_starts=%ld ticks=%ld ticks_1s=%ld",
             s.boots, s.resumes, s.shortSuspends, s.limitUseRequests, s.dstGapRequests,
             s.dstRepeatedHourRequests, s.dstRepeatedHourBoots, s.ticks, s.fastTicks);
    return out + buf;
}

// ---- One time zone -------------------------------------------------------------

// One pass of a scheduled time: the instant the clock first shows the minute it is
// reached at, on a date.
struct Occurrence {
    time_t start = 0;
    int minute = 0;  // as scheduled
    int reached = 0; // the minute of the day it is reached at
    time_t deadline = 0;
    bool moved = false;    // a log-on, a step or a suspension moved the deadline
    bool heldBack = false; // a log-on's countdown or a step of the clock moved it
};

class ZoneSim {
public:
    ZoneSim(std::string zone, uint64_t seed, long days, bool verbose, int y, int mo, int d)
        : m_zone(std::move(zone)), m_rng(seed), m_limitRng(seed ^ 0x5eed11317ull), m_days(days),
          m_verbose(verbose), m_startYear(y), m_startMonth(mo), m_startDay(d) {}

    Stats Run();

private:
    // Clock.
    time_t Wall() const { return m_real + m_offset; }
    void SetReal(time_t real) {
        m_real = real;
        fake::SetNow(Wall());
        fake::SetCounterMs(uint64_t(m_real) * 1000);
    }
    void Note(const char *what, time_t wall);

    // The machine.
    void Boot();
    time_t PowerOnAfter(time_t downWall, time_t secondPass);
    void PlanEvents(time_t targetStart);
    // How long nobody is logged on: mostly minutes, now and then hours.
    long NobodyFor() {
        return m_rng.Chance(0.95) ? m_rng.Exp(180.0) + 5 : m_rng.Int(600, 2 * 3600);
    }
    void SyncTimers();
    void Tick(UINT_PTR id);
    void Suspend(long seconds);
    long SchedulerInterval() const; // seconds; 0 when timer 99 does not run

    // Schedule.
    int ReachedOn(const struct tm &day, int minute);
    bool NextOccurrence(time_t from, Occurrence &o);
    time_t NextTransition(time_t after) const;
    void MaybeNewSchedule();

    // The checker.
    void StartWatching();
    void CheckDeadline();
    void OnLogon();
    void OnClockChange(time_t before, long size, long felt, bool suspend);
    void OnResume();
    void WatchLimitUse();
    void OnPolite();
    const char *Judge(time_t wall, bool again);
    const char *JudgeLimitUse();
    void OnForced();
    bool AtOwnSchedule(time_t wall);
    bool RequestedAlready(time_t at, int reached) const;
    void CheckWarning();

    struct Timer {
        UINT interval = 0; // ms
        time_t due = 0;    // on the real time base
        long late = 0;
    };

    std::string m_zone;
    Rng m_rng;
    Rng m_limitRng;
    long m_days;
    bool m_verbose;
    int m_startYear, m_startMonth, m_startDay;
    Stats m_stats;

    time_t m_real = 0;
    long m_offset = 0;
    time_t m_end = 0;
    Schedule m_sched;
    std::set<time_t> m_biasedTransitions;
    std::map<std::pair<int, int>, int> m_reached; // (date, minute) -> Reached
    time_t m_lastRequestWall = 0; // the clock at the last request, as the scheduler records it

    // One run of the scheduler.
    std::unique_ptr<CVespraDlg> m_dlg;
    std::map<UINT_PTR, Timer> m_timers;
    bool m_loggedOn = false;
    bool m_down = false;
    time_t m_downAt = 0; // real
    time_t m_bootWall = 0;
    time_t m_quietSince = 0; // wall: the last start, log-on, log-off or change of the clock
    // The time due next, while the clock is trusted and it has not been requested.
    bool m_watching = false;
    Occurrence m_due;
    // The clock's steps and suspensions of the run, and the countdowns after them.
    bool m_clockChanged = false;
    std::vector<time_t> m_changeBases; // the clock before each change, less m_tickSum then
    time_t m_tickSum = 0;              // seconds: timer 99's intervals, a tick each
    time_t m_changeTickSum = 0;        // m_tickSum at the last change
    long m_countdowns = 0;             // seconds: the countdowns of the run, with their slack
    time_t m_lastChangeReal = 0;
    long m_lastChangeFelt = 0;
    // Suspensions: timer 99's last tick (or start), as the counter saw it; a resume the
    // next tick is to see; the last resume; whether the run had any.
    time_t m_last99Real = 0;
    bool m_resumePending = false;
    time_t m_resumeWall = 0;
    bool m_suspendInRun = false;
    // Limit use: a user to be seen after a resume; the notice on the screen, and the
    // ticks of timer 99 since it came (a resume between lets the request come sooner).
    bool m_limitUseCheck = false;
    bool m_noticeShown = false;
    std::string m_noticeText;
    long m_noticeTicks = 0;
    bool m_resumedInNotice = false;
    std::string m_limitUseText; // up to the number of hours
    // Requests.
    bool m_politeSeen = false, m_forcedSeen = false;
    time_t m_politeReal = 0;
    std::vector<time_t> m_warnings; // wall: each warning shown
    std::string m_warningText[2];   // the shut-down's and the restart's, up to the number
    // Events (real time); 0 = none.
    time_t m_nextLogon = 0, m_nextLogoff = 0, m_probeOffAt = 0, m_nextJump = 0;
};

bool g_trace = false;

void Trace(const char *what, time_t wall, long a = 0, long b = 0) {
    if (!g_trace)
        return;
    const struct tm t = Local(wall);
    printf("  %04d-%02d-%02d %02d:%02d:%02d%s %s %ld %ld\n", t.tm_year + 1900, t.tm_mon + 1,
           t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_isdst > 0 ? "D" : "", what, a, b);
}

void ZoneSim::Note(const char *what, time_t wall) {
    char buf[240];
    const struct tm t = Local(wall);
    const struct tm due = Local(m_due.start);
    snprintf(buf, sizeof buf, "%s %04d-%02d-%02d %02d:%02d:%02d%s: %s", m_zone.c_str(),
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
             t.tm_isdst > 0 ? " (DST)" : "", what);
    std::string note = buf;
    if (m_watching) {
        snprintf(buf, sizeof buf, " (the time due: %02d-%02d %02d:%02d)", due.tm_mon + 1,
                 due.tm_mday, due.tm_hour, due.tm_min);
        note += buf;
    }
    if (m_verbose || m_stats.notes.size() < 12)
        m_stats.notes.push_back(note);
}

time_t ZoneSim::NextTransition(time_t after) const {
    // Daylight saving changes at most a few times a year; an hourly scan over the
    // next 8 days finds the hour, a minute scan the instant.
    int isdst = Local(after).tm_isdst;
    for (time_t t = after; t < after + 8 * kDay; t += 3600) {
        if (Local(t).tm_isdst != isdst) {
            time_t lo = t - 3600;
            while (Local(lo + 60).tm_isdst == isdst)
                lo += 60;
            return lo + 60;
        }
    }
    return 0;
}

void ZoneSim::MaybeNewSchedule() {
    bool changed = false;
    const time_t tr = NextTransition(Wall());
    // Settings change now and then, but not in the days before a change of daylight
    // saving time, so that what is set up for it below stays.
    if ((!tr || tr - Wall() > 3 * kDay) && m_rng.Chance(0.05)) {
        m_sched = RandomSchedule(m_rng, m_limitRng);
        changed = true;
    }
    // Put a time into the hour daylight saving skips or repeats, now and then.
    if (tr && !m_biasedTransitions.count(tr)) {
        m_biasedTransitions.insert(tr);
        if (m_rng.Chance(0.9)) {
            const struct tm before = Local(tr - 1);
            const struct tm after = Local(tr);
            const int wd = after.tm_wday;
            // Around the gap or the repeated stretch, by the clock of that date.
            const int lo = std::min(MinuteOf(before), MinuteOf(after)) - 10;
            const int hi = std::max(MinuteOf(before), MinuteOf(after)) + 10;
            m_sched.day[wd] = true;
            m_sched.minute[wd] = int(std::clamp<long>(m_rng.Int(lo, hi), 0, 24 * 60 - 1));
            // A restart is back at once; a shut-down lets the machine be off a while.
            if (m_rng.Chance(0.7))
                m_sched.restart = false;
            // With the evening before off, the machine is more often on at the change.
            if (m_rng.Chance(0.7))
                m_sched.day[(wd + 6) % 7] = false;
            changed = true;
        }
    }
    if (changed)
        StoreSchedule(m_sched);
}

int ZoneSim::ReachedOn(const struct tm &day, int minute) {
    const auto key = std::make_pair(DateKey(day), minute);
    auto it = m_reached.find(key);
    if (it == m_reached.end())
        it = m_reached.emplace(key, Reached(day, minute)).first;
    return it->second;
}

// The first pass, at or after `from`, of an enabled day's time, within 8 days.
bool ZoneSim::NextOccurrence(time_t from, Occurrence &o) {
    const struct tm base = Local(from);
    for (int i = 0; i <= 8; ++i) {
        const struct tm day = DateAfter(base, i);
        const int wd = day.tm_wday;
        if (!m_sched.day[wd])
            continue;
        const int reached = ReachedOn(day, m_sched.minute[wd]);
        if (reached < 0)
            continue;
        for (time_t at : InstantsOf(day, reached))
            if (at >= from) {
                o = Occurrence();
                o.start = at;
                o.minute = m_sched.minute[wd];
                o.reached = reached;
                o.deadline = at + kTickSlack;
                return true;
            }
    }
    return false;
}

void ZoneSim::PlanEvents(time_t targetStart) {
    const time_t targetReal = targetStart - m_offset;
    m_nextLogoff = m_nextLogon = m_probeOffAt = 0;
    if (m_loggedOn)
        m_nextLogoff = m_real + m_rng.Exp(4 * 3600.0);
    else
        m_nextLogon = m_real + NobodyFor();
    // Now and then a log-on just before the scheduled minute.
    if (targetStart && targetReal > m_real + 200 && m_rng.Chance(0.15)) {
        if (m_loggedOn)
            m_nextLogoff = targetReal - m_rng.Int(100, 400); // and back on a few minutes later
        else if (targetReal - m_real < 2 * 3600)
            m_nextLogon = targetReal + m_rng.Int(-90, 30);
    }
    m_nextJump = m_real + m_rng.Exp(6.0 * kDay);
    if (targetStart && targetReal > m_real + 200 && m_rng.Chance(0.15))
        m_nextJump = targetReal + m_rng.Int(-150, 40);
}

void ZoneSim::SyncTimers() {
    fake::Window *w = fake::WindowOf(*m_dlg);
    for (auto it = m_timers.begin(); it != m_timers.end();)
        it = w && w->timers.count(it->first) ? std::next(it) : m_timers.erase(it);
    if (!w)
        return;
    for (const auto &[id, ms] : w->timers) {
        Timer &t = m_timers[id];
        if (t.interval != ms) {
            // Started again: the counter's last tick is now.
            if (id == IDT_SCHEDULER)
                m_last99Real = m_real;
            t.interval = ms;
            t.due = m_real + std::max<long>(1, ms / 1000);
            t.late = m_rng.Int(0, ms >= 20000 ? kMaxTickLate : 1);
        }
    }
}

// ---- The checker -----------------------------------------------------------------

// Whether `at` falls on the start's date, and the last request recorded was on that
// date at or after the minute `reached`.
bool ZoneSim::RequestedAlready(time_t at, int reached) const {
    if (!m_lastRequestWall)
        return false;
    const struct tm last = Local(m_lastRequestWall);
    const int date = DateKey(Local(at));
    return date == DateKey(Local(m_bootWall)) && DateKey(last) == date && MinuteOf(last) >= reached;
}

// At a start: the first time due from the start's own minute on.
void ZoneSim::StartWatching() {
    const time_t from = m_bootWall - Local(m_bootWall).tm_sec;
    m_watching = NextOccurrence(from, m_due);
    while (m_watching && RequestedAlready(m_due.start, m_due.reached)) {
        ++m_stats.excused[kRequestedAlready];
        m_watching = NextOccurrence(m_due.start + 60, m_due);
    }
    m_due.deadline = std::max(m_due.start, m_bootWall) + kTickSlack;
}

// A log-on (or a start with a user logged on): the countdown runs without compares.
void ZoneSim::OnLogon() {
    if (!m_sched.welcome)
        return;
    const long countdown = long(m_sched.welcomeSecs) + 30;
    m_countdowns += countdown;
    if (m_watching && Wall() <= m_due.deadline) {
        m_due.deadline = std::max(m_due.deadline, Wall() + countdown);
        m_due.moved = m_due.heldBack = true;
    }
}

void ZoneSim::CheckDeadline() {
    // A resume not yet seen by a tick may still excuse the time due.
    while (m_watching && !m_resumePending && Wall() > m_due.deadline) {
        ++m_stats.missed;
        Note("missed: no request by the deadline", Wall());
        m_watching = NextOccurrence(m_due.start + 60, m_due);
    }
    if (m_politeReal && !m_forcedSeen && m_real > m_politeReal + kForcedWithin) {
        ++m_stats.unforced;
        Note("no forced request after a refused polite one", Wall());
        m_politeReal = 0;
    }
}

// A step of the clock by `size` s, or a short suspension of `size` s, from the clock
// `before`; `felt` is how far it moved the clock from the scheduler's own time.
void ZoneSim::OnClockChange(time_t before, long size, long felt, bool suspend) {
    m_changeBases.push_back(before - m_tickSum);
    m_changeTickSum = m_tickSum;
    m_quietSince = Wall();
    // Two changes between ticks are felt as one.
    const bool merged = m_lastChangeReal && m_real - m_lastChangeReal < 30;
    const long total = felt + (merged ? m_lastChangeFelt : 0);
    m_lastChangeReal = m_real;
    m_lastChangeFelt = felt;
    // A short suspension alone is real time within the tolerance: the clock stays
    // trusted (the counter's tick-exact gap says so, with no lateness to allow for).
    if (total > kMaxSmallChange && (merged || !suspend)) {
        m_clockChanged = true;
        if (m_watching)
            ++m_stats.excused[kClockChanged];
        m_watching = false;
    } else if (m_watching && before >= m_due.start - 60) {
        m_due.deadline += std::labs(size);
        m_due.moved = true;
        m_due.heldBack = m_due.heldBack || !suspend;
    }
}

long ZoneSim::SchedulerInterval() const {
    auto it = m_timers.find(IDT_SCHEDULER);
    return it == m_timers.end() ? 0 : std::max<long>(1, long(it->second.interval / 1000));
}

// The machine sleeps `seconds`: the clock and the counter go on together, no timer
// runs, and what was to happen meanwhile (or was still to happen in the second it went
// to sleep) happens that much later.
void ZoneSim::Suspend(long seconds) {
    const time_t before = Wall(), from = m_real;
    m_real += seconds;
    fake::Suspend(seconds);
    // Not before the tick that the resume brings at once.
    for (time_t *at : {&m_downAt, &m_nextLogon, &m_nextLogoff, &m_probeOffAt})
        if (*at >= from && *at <= m_real)
            *at = std::max(*at + seconds, m_real + 1);
    if (m_politeReal)
        m_politeReal += seconds; // the forced request's count stands still too
    m_suspendInRun = true;
    const long interval = SchedulerInterval();
    if (!interval)
        return;
    // The next tick of timer 99 comes at once; what it makes of the gap is decided by
    // the counter alone.
    const long gap = long(m_real - m_last99Real);
    Trace("suspended; gap since tick, interval", Wall(), gap, interval);
    if (gap > interval + kTolerance) {
        m_resumePending = true;
        m_quietSince = Wall();
    } else {
        ++m_stats.shortSuspends;
        m_resumeWall = Wall();
        OnClockChange(before, seconds, gap - interval, true);
    }
}

// At the first tick of timer 99 after a suspension the counter shows: as at a start,
// the minutes before this one are not acted on, and a user there gets limit use. The
// own time moves on by the real time.
void ZoneSim::OnResume() {
    m_resumePending = false;
    ++m_stats.resumes;
    const long interval = SchedulerInterval();
    m_tickSum += long(m_real - m_last99Real) - interval;
    m_resumeWall = m_quietSince = Wall();
    m_limitUseCheck = !m_politeSeen;
    if (m_noticeShown)
        m_resumedInNotice = true;
    if (!m_watching)
        return;
    const time_t minute = Wall() - Local(Wall()).tm_sec;
    if (m_due.start < minute) {
        ++m_stats.excused[kSleptThrough];
        m_watching = NextOccurrence(minute, m_due);
        while (m_watching && RequestedAlready(m_due.start, m_due.reached)) {
            ++m_stats.excused[kRequestedAlready];
            m_watching = NextOccurrence(m_due.start + 60, m_due);
        }
    }
    // As at a start, today's time is over once the clock has shown a later minute: a
    // second pass of it in a repeated hour is not due either.
    const struct tm now = Local(Wall());
    while (m_watching && DateKey(Local(m_due.start)) == DateKey(now) &&
           m_due.reached < MinuteOf(now))
        m_watching = NextOccurrence(m_due.start + 60, m_due);
    if (!m_watching)
        return;
    if (Wall() > m_due.start) {
        // In the minute itself: due as at a start.
        m_due.deadline = std::max(m_due.deadline, Wall() + kTickSlack);
        m_due.moved = true;
    }
    // A startup countdown under way (the 1-s timer) goes on without compares.
    if (interval == 1) {
        m_due.deadline += long(m_sched.welcomeSecs) + 30;
        m_due.moved = m_due.heldBack = true;
    }
}

// After a tick of timer 99: the limit-use notice on the screen, whether it may be
// there, and whether it is there when a resume calls for it.
void ZoneSim::WatchLimitUse() {
    const std::string &text = fake::Ctl(*m_dlg, IDC_MESSAGE).text;
    const bool notice = text.rfind(m_limitUseText, 0) == 0;
    bool fresh = notice && (!m_noticeShown || text != m_noticeText);
    // The first tick after a resume that finds a user there.
    if (m_limitUseCheck && m_loggedOn && !m_probeOffAt) {
        m_limitUseCheck = false;
        if (LimitUseDue(m_sched, Wall())) {
            if (notice) {
                fresh = true; // started again, maybe with the same text
            } else {
                ++m_stats.missed;
                Note("no limit-use notice for the user back from a sleep", Wall());
            }
        }
    }
    if (fresh) {
        Trace("limit-use notice", Wall());
        m_noticeTicks = 0;
        m_resumedInNotice = false;
        if (!LimitUseDue(m_sched, Wall())) {
            ++m_stats.unscheduled;
            Note("a limit-use notice outside the limit-use hours", Wall());
        }
        if (m_watching)
            ++m_stats.excused[kLimitUse];
        m_watching = false;
    }
    if (notice && !fresh && !m_politeSeen && !m_resumedInNotice &&
        m_noticeTicks == kLimitUseTicks + 1) {
        ++m_stats.missed;
        Note("no request 15 ticks after the limit-use notice", Wall());
    }
    m_noticeShown = notice;
    m_noticeText = text;
}

// After a change of the clock: whether a scheduled time is within a margin of the
// scheduler's own time, as it would be had it gone by its timer since one of the
// changes; or, the clock still trusted, was reached by the clock since just before the
// last change (a minute passed in a suspension or a step is caught up at the next
// compare). The margin: the countdowns of the run (the own time stands while a user
// watches one), a tick, and 30 s for where between ticks the change fell.
bool ZoneSim::AtOwnSchedule(time_t wall) {
    const long margin = m_countdowns + kTickSlack + 30;
    Occurrence o;
    const time_t before = m_changeBases.back() + m_changeTickSum;
    if (NextOccurrence(std::min(wall, before) - margin, o) && o.start <= wall + margin)
        return true;
    for (time_t base : m_changeBases)
        if (NextOccurrence(base + m_tickSum - margin, o) && o.start <= base + m_tickSum + margin)
            return true;
    return false;
}

// A polite request while the limit-use notice was on the screen: its 15th tick.
const char *ZoneSim::JudgeLimitUse() {
    ++m_stats.limitUseRequests;
    m_watching = false;
    if (m_noticeTicks == kLimitUseTicks || (m_resumedInNotice && m_noticeTicks <= kLimitUseTicks))
        return nullptr;
    ++m_stats.unscheduled;
    return "a limit-use request not at the 15th tick after its notice";
}

void ZoneSim::OnPolite() {
    ++m_stats.requests;
    const time_t wall = Wall();
    const bool again = m_politeSeen;
    m_politeSeen = true;
    m_politeReal = m_real;
    const char *fault = Judge(wall, again);
    m_lastRequestWall = wall;
    if (fault)
        Note(fault, wall);
}

// A polite request at `wall`: nullptr when the rules allow it, else the fault, counted.
const char *ZoneSim::Judge(time_t wall, bool again) {
    if (again) {
        ++m_stats.repeated;
        return "a second polite request in one run";
    }
    if (m_noticeShown)
        return JudgeLimitUse();
    if (m_watching && wall >= m_due.start && wall <= m_due.deadline) {
        m_watching = false;
        if (!m_due.moved && m_bootWall < m_due.start)
            m_stats.lateness.push_back(int(wall - m_due.start));
        if (m_suspendInRun && !m_due.heldBack)
            m_stats.suspendDelayMax =
                std::max(m_stats.suspendDelayMax,
                         long(wall - std::max({m_due.start, m_resumeWall, m_bootWall})));
        if (m_due.reached != m_due.minute)
            ++m_stats.dstGapRequests;
        if (InstantsOf(Local(m_due.start), m_due.reached).size() > 1)
            ++m_stats.dstRepeatedHourRequests;
        CheckWarning();
        return nullptr;
    }
    if (m_clockChanged && AtOwnSchedule(wall))
        return nullptr;
    const struct tm at = Local(wall);
    const int wd = at.tm_wday;
    const int reached = ReachedOn(at, m_sched.minute[wd]);
    if (m_sched.day[wd] && MinuteOf(at) == reached && RequestedAlready(wall, reached)) {
        ++m_stats.repeated;
        return "a day's time requested again";
    }
    ++m_stats.unscheduled;
    return "a request at no time due";
}

void ZoneSim::OnForced() {
    ++m_stats.forced;
    m_lastRequestWall = Wall();
    if (!m_politeSeen) {
        ++m_stats.unforced;
        Note("a forced request with no polite one before it", Wall());
    }
    m_forcedSeen = true;
}

// At the request for the time due: the warning of it.
void ZoneSim::CheckWarning() {
    if (!m_sched.showWarning || m_sched.warnMinutes == 0 || m_sched.warnMinutes >= 24 * 60)
        return;
    // The warning's minute by the clock: the scheduled time less the warning period, on
    // the evening before when that goes back past midnight; its passes before the time.
    int w = m_due.minute - int(m_sched.warnMinutes);
    struct tm day = Local(m_due.start);
    if (w < 0) {
        w += 24 * 60;
        day = DateAfter(day, -1);
    }
    const int reached = ReachedOn(day, w);
    std::vector<time_t> passes;
    for (time_t t : reached < 0 ? std::vector<time_t>() : InstantsOf(day, reached))
        if (t < m_due.start)
            passes.push_back(t);
    if (passes.empty()) {
        ++m_stats.excused[kWarningSameMinute];
        return;
    }
    if (m_quietSince > passes.front() - long(m_sched.welcomeSecs) - 60) {
        ++m_stats.excused[kWarningUnwatched];
        return;
    }
    if (!m_loggedOn) {
        ++m_stats.excused[kWarningNobody];
        return;
    }
    for (time_t shown : m_warnings)
        if (shown >= passes.front() && shown <= passes.back() + kTickSlack) {
            ++m_stats.warned;
            return;
        }
    if (std::none_of(m_warnings.begin(), m_warnings.end(),
                     [&](time_t shown) { return shown >= passes.front(); })) {
        ++m_stats.unwarned;
        Note("no warning before the request", Wall());
    } else {
        ++m_stats.warnLate;
        Note("the warning not within a tick of its minute", m_warnings.back());
    }
}

void ZoneSim::Tick(UINT_PTR id) {
    const bool scheduler = id == IDT_SCHEDULER;
    if (scheduler) {
        if (m_resumePending)
            OnResume();
        m_last99Real = m_real;
        if (m_noticeShown)
            ++m_noticeTicks;
    }
    fake::FireTimer(*m_dlg, id);
    // The warning on the screen, with its beep.
    std::vector<fake::BeepCall> &beeps = fake::Plat().beeps;
    if (!beeps.empty()) {
        const bool exclaim = std::any_of(beeps.begin(), beeps.end(), [](const fake::BeepCall &b) {
            return b.messageBeep && b.type == MB_ICONEXCLAMATION;
        });
        const fake::Window *w = fake::WindowOf(*m_dlg);
        const std::string &text = fake::Ctl(*m_dlg, IDC_MESSAGE).text;
        if (exclaim && w && w->visible &&
            (text.rfind(m_warningText[0], 0) == 0 || text.rfind(m_warningText[1], 0) == 0)) {
            m_warnings.push_back(Wall());
            Trace("warning", Wall());
        }
        beeps.clear();
    }
    std::vector<UINT> &calls = fake::Plat().exitWindowsCalls;
    for (UINT flags : calls) {
        if (flags & EWX_FORCE) {
            Trace("forced request", Wall());
            OnForced();
            if (!m_downAt || m_downAt > m_real + 15)
                m_downAt = m_real + m_rng.Int(1, 15);
        } else {
            Trace("polite request", Wall());
            OnPolite();
            // Windows closes the programs, unless something refuses the polite request.
            if (!m_rng.Chance(0.15))
                m_downAt = m_real + m_rng.Int(2, 40);
        }
    }
    calls.clear();
    if (scheduler && !fake::IsEnded(*m_dlg))
        WatchLimitUse();
}

// secondPass: when the request was made in the first pass of an hour the clock
// repeats, the instant its minute comes again; else 0.
time_t ZoneSim::PowerOnAfter(time_t downWall, time_t secondPass) {
    if (m_sched.restart)
        return downWall + m_rng.Int(15, 150);
    const time_t tr = NextTransition(downWall);
    // Back on after the clock went back, before it shows the requested time again.
    if (secondPass && tr && tr < secondPass && m_rng.Chance(0.8))
        return std::max(downWall + 5, tr + m_rng.Int(0, long(secondPass - tr) - 1));
    if (tr && tr - downWall > 10 * 60 && tr - downWall < 30 * 3600 && m_rng.Chance(0.7))
        return std::max<time_t>(downWall + 60, tr - m_rng.Int(70 * 60, 5 * 3600));
    const double r = m_rng.U();
    if (r < 0.12)
        return downWall + m_rng.Int(5, 90);
    if (r < 0.35)
        return downWall + m_rng.Int(120, 3 * 3600);
    struct tm next = DateAfter(Local(downWall), r < 0.85 ? 1 : int(m_rng.Int(2, 3)));
    next.tm_hour = int(m_rng.Int(6, r < 0.85 ? 9 : 21));
    next.tm_min = int(m_rng.Int(0, 59));
    next.tm_sec = int(m_rng.Int(0, 59));
    next.tm_isdst = -1;
    return std::max<time_t>(downWall + 60, mktime(&next));
}

void ZoneSim::Boot() {
    ++m_stats.boots;
    fake::Reset(); // a new process: no windows; the registry stays
    fake::Plat().exitWindowsCalls.clear();
    fake::Plat().beeps.clear();
    MaybeNewSchedule();
    m_loggedOn = m_rng.Chance(0.4);
    fake::OsState().inputDesktop = m_loggedOn ? "Default" : "Winlogon";
    m_bootWall = m_quietSince = Wall();
    if (InstantsOf(Local(m_bootWall), MinuteOf(Local(m_bootWall))).size() > 1)
        ++m_stats.dstRepeatedHourBoots;
    m_clockChanged = false;
    m_changeBases.clear();
    m_tickSum = 0;
    m_countdowns = 0;
    m_lastChangeReal = 0;
    m_lastChangeFelt = 0;
    m_resumePending = m_suspendInRun = m_limitUseCheck = false;
    m_resumeWall = 0;
    m_noticeShown = m_resumedInNotice = false;
    m_noticeText.clear();
    m_noticeTicks = 0;
    m_politeSeen = m_forcedSeen = false;
    m_politeReal = 0;
    m_warnings.clear();
    m_down = false;
    m_downAt = 0;
    m_timers.clear();
    StartWatching();
    if (m_loggedOn)
        OnLogon();

    m_dlg = std::make_unique<BrokenDlg>();
    fake::Open(*m_dlg);
    m_last99Real = m_real;
    PlanEvents(m_watching ? m_due.start : 0);
    Trace("start: the time due", Wall(), m_watching ? long(m_due.start - Wall()) : -1);

    time_t secondPass = 0;
    bool requestSeen = false;
    while (m_real < m_end) {
        if (fake::IsEnded(*m_dlg) && !m_downAt) {
            Note("the scheduler ended", Wall());
            ++m_stats.missed;
            m_downAt = m_real + 1;
        }
        SyncTimers();
        // The next thing to happen.
        time_t next = m_end;
        UINT_PTR timer = 0;
        for (auto &[id, t] : m_timers)
            if (t.due + t.late < next) {
                next = t.due + t.late;
                timer = id;
            }
        enum { None, Down, Logon, Logoff, ProbeOff, Jump } ev = None;
        auto consider = [&](time_t at, decltype(ev) what) {
            if (at && at <= next) {
                next = std::max(at, m_real);
                ev = what;
                timer = 0;
            }
        };
        consider(m_downAt, Down);
        consider(m_nextLogon, Logon);
        consider(m_nextLogoff, Logoff);
        consider(m_probeOffAt, ProbeOff);
        consider(m_nextJump, Jump);
        SetReal(std::max(next, m_real));
        CheckDeadline();
        if (m_real >= m_end)
            break;
        if (timer) {
            Timer &t = m_timers[timer];
            const UINT_PTR id = timer;
            // The next one on the timer's grid; late ticks do not push the grid.
            const long step = std::max<long>(1, t.interval / 1000);
            t.due += step;
            while (t.due <= m_real)
                t.due += step;
            t.late = m_rng.Int(0, t.interval >= 20000 ? kMaxTickLate : 1);
            ++m_stats.ticks;
            if (t.interval < 20000)
                ++m_stats.fastTicks;
            if (id == IDT_SCHEDULER)
                m_tickSum += t.interval / 1000;
            Tick(id);
            if (m_politeSeen && !requestSeen) {
                requestSeen = true;
                const struct tm now = Local(Wall());
                const std::vector<time_t> passes = InstantsOf(now, MinuteOf(now));
                if (passes.size() > 1 && Wall() < passes[1])
                    secondPass = passes[1];
            }
            continue;
        }
        switch (ev) {
        case Down:
            Trace("down", Wall());
            // Windows ends the session; the process goes with it.
            m_dlg->OnEndSession(TRUE, 0);
            m_down = true;
            break;
        case Logon:
            Trace("log-on", Wall());
            m_nextLogon = 0;
            m_loggedOn = true;
            fake::OsState().inputDesktop = "Default";
            m_quietSince = Wall();
            OnLogon();
            m_nextLogoff = m_real + m_rng.Exp(4 * 3600.0);
            break;
        case Logoff:
            Trace("log-off", Wall());
            m_nextLogoff = 0;
            m_dlg->OnEndSession(TRUE, ENDSESSION_LOGOFF);
            // A log-off waited for restarts timer 99 (no limit use, no shut-down under
            // way); and limit use goes with the next log-on.
            if (m_sched.welcome && !m_politeSeen && !m_noticeShown)
                m_last99Real = m_real;
            m_limitUseCheck = false;
            m_probeOffAt = m_real + m_rng.Int(0, 8);
            m_quietSince = Wall();
            break;
        case ProbeOff:
            Trace("log-off complete", Wall());
            m_probeOffAt = 0;
            m_loggedOn = false;
            fake::OsState().inputDesktop = "Winlogon";
            m_quietSince = Wall();
            m_nextLogon = m_real + NobodyFor();
            break;
        case Jump: {
            const time_t before = Wall();
            const double r = m_rng.U();
            if (r < 0.33) {
                Suspend(m_rng.LogInt(30, 2 * kDay));
            } else {
                long j = r < 0.66 ? m_rng.Int(1, 75) : m_rng.LogInt(120, 3 * kDay);
                if (m_rng.Chance(0.5))
                    j = -j;
                m_offset += j;
                SetReal(m_real);
                OnClockChange(before, j, std::labs(j), false);
            }
            Trace("clock step / suspend; offset", Wall(), m_offset, r < 0.33);
            m_nextJump = m_real + m_rng.Exp(6.0 * kDay);
            break;
        }
        case None:
            break;
        }
        if (m_down)
            break;
    }
    if (m_watching && m_real >= m_end && m_due.start <= Wall())
        ++m_stats.excused[kSimEnd];
    m_dlg.reset();
    if (m_real >= m_end)
        return;
    const time_t on = PowerOnAfter(Wall(), secondPass);
    SetReal(std::max(m_real + 1, on - m_offset));
}

Stats ZoneSim::Run() {
    setenv("TZ", m_zone.c_str(), 1);
    tzset();
    fake::ResetAll();
    for (int i = 0; i < 2; ++i) {
        const std::string text = LoadStr(i ? IDS_WARNING_RESTART : IDS_WARNING);
        m_warningText[i] = text.substr(0, text.find("%1"));
    }
    const std::string limitUse = LoadStr(IDS_LIMIT_USE);
    m_limitUseText = limitUse.substr(0, limitUse.find("%1"));
    // Start ten days before the first change of daylight saving time after the start
    // date, so that a short run sees one.
    struct tm start = {};
    start.tm_year = m_startYear - 1900;
    start.tm_mon = m_startMonth - 1;
    start.tm_mday = m_startDay;
    start.tm_hour = 7;
    start.tm_isdst = -1;
    const time_t from = mktime(&start);
    time_t begin = from;
    for (time_t t = from; t < from + 366 * kDay; t += 7 * kDay)
        if (time_t tr = NextTransition(t)) {
            begin = std::max(from, tr - 10 * kDay);
            break;
        }
    m_offset = 0;
    SetReal(begin);
    m_end = begin + time_t(m_days) * kDay;
    m_sched = RandomSchedule(m_rng, m_limitRng);
    StoreSchedule(m_sched);
    while (m_real < m_end)
        Boot();
    m_stats.days = m_days;
    return m_stats;
}

// ---- Nightly hibernation ----------------------------------------------------------

// --hibernate-nightly: one process of the scheduler through `days` days of fast
// start-up, in the zone the TZ variable names. Returns the own time's lag in seconds
// (see the top of the file), or -1 when no request came.
long HibernateNightly(long days, int y, int mo, int d, uint64_t seed) {
    fake::ResetAll();
    Rng rng(seed);
    Schedule s;
    for (int wd = 0; wd < 7; ++wd) {
        s.day[wd] = true;
        s.minute[wd] = 20 * 60;
    }
    StoreSchedule(s);
    auto at = [&](long day, int hour, int minute) {
        struct tm t = {};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d + int(day);
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_isdst = -1;
        return mktime(&t);
    };
    fake::SetNow(at(0, 7, 0));
    fake::SetCounterMs(3600 * 1000);
    fake::OsState().inputDesktop = "Default";
    CVespraDlg dlg(nullptr, FALSE, TRUE, FALSE);
    fake::Open(dlg);
    std::vector<UINT> &calls = fake::Plat().exitWindowsCalls;
    calls.clear();
    time_t request = 0, firstTickIn = 0;
    const time_t due = at(days - 1, 20, 0);
    // Ticks of timer 99 up to `until`, on the timer's interval, each 0-5 s late.
    auto runUntil = [&](time_t until) {
        while (!request && fake::Now() < until) {
            const fake::Window *w = fake::WindowOf(dlg);
            if (!w || !w->timers.count(IDT_SCHEDULER))
                return;
            const UINT ms = w->timers.at(IDT_SCHEDULER);
            fake::AdvanceClock(std::max<long>(1, long(ms / 1000)) +
                               rng.Int(0, ms >= 20000 ? 5 : 0));
            fake::FireTimer(dlg, IDT_SCHEDULER);
            if (!firstTickIn && fake::Now() >= due)
                firstTickIn = fake::Now();
            for (UINT flags : calls)
                if (!(flags & EWX_FORCE) && !request) {
                    request = fake::Now();
                    Trace("polite request", request);
                }
            calls.clear();
        }
    };
    for (long day = 0; day < days && !request; ++day) {
        if (day == days - 1) {
            runUntil(at(day, 21, 0));
            break;
        }
        // Shut down from the Start menu: the user is logged off, session 0 hibernates.
        runUntil(at(day, 17, 59) + rng.Int(0, 50));
        if (request)
            break;
        dlg.OnEndSession(TRUE, ENDSESSION_LOGOFF);
        runUntil(fake::Now() + rng.Int(1, 5));
        fake::OsState().inputDesktop = "Winlogon";
        runUntil(fake::Now() + 5);
        const time_t on = at(day + 1, 7, 0) + rng.Int(0, 600);
        Trace("hibernated until", on);
        if (on > fake::Now())
            fake::Suspend(long(on - fake::Now()));
        // Back on: the user logs on again a little later.
        runUntil(fake::Now() + rng.Int(20, 120));
        fake::OsState().inputDesktop = "Default";
        Trace("log-on", fake::Now());
    }
    if (!request)
        return -1;
    // The most recent scheduled minute by the clock; a request at the first tick in it
    // shows no lag.
    time_t minute = at(0, 20, 0);
    for (long day = 0; at(day, 20, 0) <= request; ++day)
        minute = at(day, 20, 0);
    if (request == firstTickIn && request < minute + 60)
        return 0;
    return long(request - minute);
}

[[noreturn]] void Usage() {
    fprintf(stderr, "usage: vespra_sim [--days N] [--seed S] [--zones a,b] [--start YYYY-MM-DD] "
                    "[--require-dst] [--break stop-timer|skip-warning|request-twice] [--verbose] "
                    "[--trace]\n"
                    "       vespra_sim --hibernate-nightly N [--zones a,b] [--start YYYY-MM-DD] "
                    "[--trace]\n");
    exit(2);
}

} // namespace

int main(int argc, char **argv) {
    long days = 10000;
    uint64_t seed = 20261208;
    bool verbose = false;
    bool requireDst = false;
    long hibernateDays = 0;
    int startY = 2026, startM = 1, startD = 1;
    std::vector<std::string> zones = {"America/New_York", "Europe/Berlin", "Australia/Lord_Howe",
                                      "UTC"};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--days" && i + 1 < argc) {
            days = atol(argv[++i]);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = strtoull(argv[++i], nullptr, 10);
        } else if (a == "--zones" && i + 1 < argc) {
            zones.clear();
            std::string list = argv[++i];
            for (size_t p = 0; p <= list.size();) {
                const size_t q = std::min(list.find(',', p), list.size());
                if (q > p)
                    zones.push_back(list.substr(p, q - p));
                p = q + 1;
            }
        } else if (a == "--start" && i + 1 < argc) {
            if (sscanf(argv[++i], "%d-%d-%d", &startY, &startM, &startD) != 3)
                Usage();
        } else if (a == "--break" && i + 1 < argc) {
            const std::string f = argv[++i];
            if (f == "stop-timer")
                g_fault = Fault::StopTimer;
            else if (f == "skip-warning")
                g_fault = Fault::SkipWarning;
            else if (f == "request-twice")
                g_fault = Fault::RequestTwice;
            else
                Usage();
        } else if (a == "--hibernate-nightly" && i + 1 < argc) {
            hibernateDays = atol(argv[++i]);
            if (hibernateDays <= 0)
                Usage();
        } else if (a == "--require-dst") {
            requireDst = true;
        } else if (a == "--trace") {
            g_trace = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else {
            Usage();
        }
    }
    if (days <= 0 || zones.empty())
        Usage();

    if (hibernateDays) {
        long worst = 0;
        std::string perZone;
        for (const std::string &zone : zones) {
            setenv("TZ", zone.c_str(), 1);
            tzset();
            const long lag = HibernateNightly(hibernateDays, startY, startM, startD, seed);
            perZone += " " + zone + "=" + (lag < 0 ? "none" : std::to_string(lag) + "s");
            worst = lag < 0 || worst < 0 ? -1 : std::max(worst, lag);
        }
        printf("hibernate: days=%ld zones=%zu own_time_lag=%s by_zone:%s\n", hibernateDays,
               zones.size(), worst < 0 ? "none" : (std::to_string(worst) + "s").c_str(),
               perZone.c_str());
        return worst == 0 ? 0 : 1;
    }

    const auto t0 = std::chrono::steady_clock::now();
    Stats total;
    for (size_t z = 0; z < zones.size(); ++z) {
        // Each zone its own stream, so that a zone's result does not depend on the list.
        uint64_t zoneSeed = seed;
        for (char c : zones[z])
            zoneSeed = zoneSeed * 1099511628211ull + uint8_t(c);
        ZoneSim sim(zones[z], zoneSeed, days, verbose, startY, startM, startD);
        const Stats s = sim.Run();
        printf("zone %s: days=%ld %s\n", zones[z].c_str(), days, Fields(s).c_str());
        total.Add(s);
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    for (const std::string &n : total.notes)
        printf("note: %s\n", n.c_str());
    printf("sim: days=%ld zones=%zu seed=%llu %s seconds=%.1f\n", days, zones.size(),
           (unsigned long long)seed, Fields(total).c_str(), secs);
    // A short run must not pass without having met both kinds of change.
    if (requireDst && (total.dstGapRequests == 0 || total.dstRepeatedHourRequests == 0)) {
        printf("sim: no request in a skipped or a repeated hour; the run proves nothing of them\n");
        return 1;
    }
    return total.Faults() == 0 ? 0 : 1;
}
