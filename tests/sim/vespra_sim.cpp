// vespra_sim: the real scheduler (CVespraDlg over the in-memory backend) run for
// many simulated days per time zone, with random schedules, late ticks, clock
// jumps, suspends, log-offs and log-ons, and a machine that goes down and comes
// back after every request. Every request is checked against the schedule.
//
//   vespra_sim [--days N] [--seed S] [--zones a,b] [--start YYYY-MM-DD] [--require-dst]
//              [--verbose] [--trace]
//
// Each zone starts ten days before its first change of daylight saving time after
// the start date (default 2026-01-01). --require-dst fails a run that had no request
// in a skipped and none in a repeated hour. --verbose lists every fault, not 12;
// --trace prints the events, requests and compares near the scheduled minute.
// Prints one line per zone and then the summary
//   sim: days=N zones=Z seed=S requests=R missed=0 repeated=0 unscheduled=0 ...
// and exits 1 when any fault count is not 0 (see the summary's fields).
//
// Time: `real` is the machine's own time base (timers, uptime, suspends); the wall
// clock the scheduler reads is real + offset, and a clock jump moves the offset.
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
// Summary fields: requests (polite), and the faults, each of which fails the run:
// missed, repeated, unscheduled, delayed (not at the first due tick), late_over (more
// than 20 s plus the tick's lateness into the minute), own_time_errors (the own time
// or the clock-change switch off the rule), unwarned and warn_late (a user logged on
// throughout got no warning, or not at the first tick of its minute). late_* is the
// distribution, in seconds into the scheduled minute, of requests whose compared
// time is the trusted clock. Counted for the record, allowed by the rules:
// countdown_skips, jump_skips, not_watched (other days passed while the run waits for
// its one day), clock_repeats (a time the clock showed again after being set back),
// clock_change_runs.
//
// The checker knows the scheduler's rules, not its code:
// - Which scheduled time a run is for: the first enabled day's time, from the
//   start's date on, that has not passed by the clock and has not been requested
//   (a day's shut-down is requested once), matched by weekday and minute.
// - Which time a tick compares with the schedule: the clock while it is trusted;
//   after a jump of a minute or more the scheduler's own time, which moves by the
//   timer's interval a tick; the clock while the first countdown waits for a log-on.
//   Nothing is compared while a user watches the countdown.
// - A time of day the clock skips (daylight saving begins) is reached at the first
//   minute after the gap.
// The request must come at the first compared tick in the scheduled minute. A
// scheduled minute that the compared time passes over between two compares is a
// miss, unless a startup countdown (no compares, by rule) or a clock jump (minutes
// are matched as the clock shows them) lay between; those are counted apart.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "framework/win32_types.h"
#include "scheduler/vespra_dlg.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_os.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_ui.h"

namespace {

constexpr long kDay = 86400;
constexpr int kMaxTickLate = 5; // seconds a 20-s WM_TIMER may come late

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
};

int RandomMinute(Rng &rng) {
    const double r = rng.U();
    if (r < 0.3)
        return int(rng.Int(0, 24 * 60 - 1));
    if (r < 0.65)
        return int(rng.Int(0, 4 * 60 - 1)); // the hours daylight saving moves
    return int(rng.Int(21 * 60, 24 * 60 - 1));
}

Schedule RandomSchedule(Rng &rng) {
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
    writer.WriteRegistry();
}

// ---- Results -----------------------------------------------------------------

struct Stats {
    long days = 0, boots = 0, requests = 0, forced = 0, ticks = 0, fastTicks = 0;
    long missed = 0, repeated = 0, unscheduled = 0, delayed = 0, lateOver = 0;
    long ownTimeErrors = 0, unwarned = 0, warnLate = 0;
    // Allowed by the rules, counted for the record.
    long countdownSkips = 0, jumpSkips = 0, notWatched = 0, detectedRuns = 0, clockRepeats = 0;
    long dstGapRequests = 0, dstRepeatedHourRequests = 0, dstRepeatedHourBoots = 0;
    std::vector<int> lateness; // seconds into the scheduled minute, trusted clock only
    std::vector<std::string> notes;

    void Add(const Stats &o) {
        days += o.days, boots += o.boots, requests += o.requests, forced += o.forced;
        ticks += o.ticks, fastTicks += o.fastTicks;
        missed += o.missed, repeated += o.repeated, unscheduled += o.unscheduled;
        delayed += o.delayed, lateOver += o.lateOver, ownTimeErrors += o.ownTimeErrors;
        unwarned += o.unwarned, warnLate += o.warnLate;
        countdownSkips += o.countdownSkips, jumpSkips += o.jumpSkips;
        notWatched += o.notWatched, detectedRuns += o.detectedRuns;
        clockRepeats += o.clockRepeats;
        dstGapRequests += o.dstGapRequests, dstRepeatedHourRequests += o.dstRepeatedHourRequests;
        dstRepeatedHourBoots += o.dstRepeatedHourBoots;
        lateness.insert(lateness.end(), o.lateness.begin(), o.lateness.end());
        notes.insert(notes.end(), o.notes.begin(), o.notes.end());
    }
    long Faults() const {
        return missed + repeated + unscheduled + delayed + lateOver + ownTimeErrors + unwarned +
               warnLate;
    }
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
    snprintf(buf, sizeof buf,
             "requests=%ld missed=%ld repeated=%ld unscheduled=%ld delayed=%ld late_over=%ld "
             "own_time_errors=%ld unwarned=%ld warn_late=%ld %s countdown_skips=%ld "
             "jump_skips=%ld not_watched=%ld clock_repeats=%ld clock_change_runs=%ld boots=%ld "
             "forced=%ld "
             "dst_gap_requests=%ld dst_repeated_hour_requests=%ld dst_repeated_hour_starts=%ld "
             "ticks=%ld ticks_1s=%ld",
             s.requests, s.missed, s.repeated, s.unscheduled, s.delayed, s.lateOver,
             s.ownTimeErrors, s.unwarned, s.warnLate, Percentiles(s.lateness).c_str(),
             s.countdownSkips, s.jumpSkips, s.notWatched, s.clockRepeats, s.detectedRuns, s.boots,
             s.forced, s.dstGapRequests, s.dstRepeatedHourRequests, s.dstRepeatedHourBoots, s.ticks,
             s.fastTicks);
    return buf;
}

// ---- One time zone -------------------------------------------------------------

class ZoneSim {
public:
    ZoneSim(std::string zone, uint64_t seed, long days, bool verbose, int y, int mo, int d)
        : m_zone(std::move(zone)), m_rng(seed), m_days(days), m_verbose(verbose), m_startYear(y),
          m_startMonth(mo), m_startDay(d) {}

    Stats Run();

private:
    // Clock.
    time_t Wall() const { return m_real + m_offset; }
    void SetReal(time_t real) {
        m_real = real;
        fake::SetNow(Wall());
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
    void Tick(UINT_PTR id, long late);
    void OnPolite(time_t compared, bool compares, long late);
    void CheckCrossing(time_t from, time_t to);
    void CheckWarning(const struct tm &at, time_t requestWall);

    // Local time of t, from the last minute asked when t falls in it: offsets change
    // only at whole minutes.
    struct tm LocalOf(time_t t) {
        if (t < m_localMinute || t >= m_localMinute + 60) {
            m_localFields = Local(t);
            m_localMinute = t - m_localFields.tm_sec;
        }
        struct tm r = m_localFields;
        r.tm_sec = int(t - m_localMinute);
        return r;
    }
    time_t m_localMinute = -1000;
    struct tm m_localFields = {};

    // Schedule.
    int ReachedOn(const struct tm &day, int minute);
    void ComputeTarget();
    time_t NextTransition(time_t after) const;
    void MaybeNewSchedule();

    struct Timer {
        UINT interval = 0; // ms
        time_t due = 0;    // on the real time base
        long late = 0;
    };

    std::string m_zone;
    Rng m_rng;
    long m_days;
    bool m_verbose;
    int m_startYear, m_startMonth, m_startDay;
    Stats m_stats;

    time_t m_real = 0;
    long m_offset = 0;
    time_t m_end = 0;
    Schedule m_sched;
    // The scheduled times requested, by (date, minute) of the time compared, with that
    // time; those the compared clock has not reached again are forgotten when it goes
    // back (the clock set back: by the clock they are still to come).
    struct Requested {
        time_t compared; // the time the scheduler compared
        time_t wall;     // the clock, which the scheduler records
    };
    std::map<std::pair<int, int>, Requested> m_requested;
    time_t m_lastRequestWall = 0; // what the scheduler records: the clock at the request
    void Prune(time_t clock) {
        for (auto it = m_requested.begin(); it != m_requested.end();)
            it = it->second.compared > clock ? m_requested.erase(it) : std::next(it);
    }
    std::set<time_t> m_biasedTransitions;
    std::map<std::pair<int, int>, int> m_reached; // (date, minute) -> Reached

    // One run of the scheduler.
    std::unique_ptr<CVespraDlg> m_dlg;
    std::map<UINT_PTR, Timer> m_timers;
    bool m_loggedOn = false;
    bool m_down = false;
    time_t m_downAt = 0; // real
    time_t m_bootWall = 0;
    int m_targetDay = -1; // weekday 0..6
    int m_targetMinute = 0;
    time_t m_targetStart = 0; // wall instant the target begins, for the bias
    bool m_requestedThisRun = false;
    // The rule's view of the scheduler's time.
    time_t m_own = 0;
    bool m_trusted = true;
    bool m_haveCompare = false;
    time_t m_lastCompared = 0;
    bool m_countdownSinceCompare = false;
    bool m_jumpSinceCompare = false;
    bool m_sourceChanged = false;
    bool m_lastCompareWasOwn = false;
    time_t m_lastDisturb = 0; // wall: last log-on change, countdown tick or clock jump
    time_t m_warnedAt = 0;    // wall
    std::set<std::pair<int, int>> m_dueMissed;
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
    snprintf(buf, sizeof buf, "%s %04d-%02d-%02d %02d:%02d:%02d%s target day %d %02d:%02d: %s",
             m_zone.c_str(), t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
             t.tm_sec, t.tm_isdst > 0 ? " (DST)" : "", m_targetDay, m_targetMinute / 60,
             m_targetMinute % 60, what);
    if (m_verbose || m_stats.notes.size() < 12)
        m_stats.notes.push_back(buf);
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
        m_sched = RandomSchedule(m_rng);
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

// The run's scheduled time: the first enabled day, from today on, whose time has not
// passed by the clock and whose shut-down has not been requested.
void ZoneSim::ComputeTarget() {
    const struct tm now = Local(Wall());
    m_targetDay = -1;
    for (int i = 0; i <= 7 && m_targetDay < 0; ++i) {
        const struct tm day = DateAfter(now, i);
        const int wd = day.tm_wday;
        if (!m_sched.day[wd])
            continue;
        const int reached = ReachedOn(day, m_sched.minute[wd]);
        if (reached < 0 || (i == 0 && MinuteOf(now) > reached))
            continue;
        // A day's shut-down is requested once: the last request, as recorded, was
        // today at or after today's time.
        if (i == 0 && m_lastRequestWall) {
            const struct tm last = Local(m_lastRequestWall);
            if (DateKey(last) == DateKey(now) && MinuteOf(last) >= reached)
                continue;
        }
        m_targetDay = wd;
        m_targetMinute = m_sched.minute[wd];
        const std::vector<time_t> at = InstantsOf(day, reached);
        m_targetStart = at.empty() ? 0 : at.front();
    }
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
            t.interval = ms;
            t.due = m_real + std::max<long>(1, ms / 1000);
            t.late = m_rng.Int(0, ms >= 20000 ? kMaxTickLate : 1);
        }
    }
}

// What the rules say a tick of timer 99 compares, and what becomes of the
// scheduler's own time; read from the state the tick starts in.
struct Prediction {
    bool compares = false;
    bool countdown = false; // a user watches the startup countdown: nothing compared
    bool own = false;       // compares the own time rather than the clock
    time_t compared = 0;
    time_t ownAfter = 0;
    bool trustedAfter = true;
};

Prediction Predict(const CVespraDlg &d, bool probe, time_t now, time_t own, bool trusted) {
    Prediction p;
    p.ownAfter = own;
    p.trustedAfter = trusted;
    if (d.m_bShuttingDown)
        return p;
    bool userOn = d.m_bUserLoggedOn;
    int c = d.m_nCountdown;
    bool startup = d.m_bStartupPhase;
    if (!userOn) {
        bool afterLogoff = d.m_bAfterLogoff;
        if (d.m_bLogoffPending) {
            if (probe) {
                // Waiting for the log-off to complete: the clock while it is
                // trusted, else the own time at the timer's pace.
                p.compares = true;
                p.own = !trusted;
                p.compared = p.ownAfter =
                    trusted ? now : own + time_t(d.m_tsTick.GetTotalSeconds());
                return p;
            }
            afterLogoff = true;
        }
        userOn = probe;
        if (probe && afterLogoff) {
            c = int(d.m_nWelcomeTime);
            startup = true;
        }
    }
    if (c < 0)
        return p;
    if (c > 0) {
        if (userOn) {
            p.countdown = true;
            if (trusted)
                p.ownAfter = now;
            return p;
        }
        p.compares = true;
        p.compared = p.ownAfter = now;
        return p;
    }
    int64_t step = d.m_tsTick.GetTotalSeconds();
    if (startup) {
        if (trusted)
            own = now;
        step = 20;
    }
    own += time_t(step);
    if (trusted) {
        if (now - 60 < own && own < now + 60)
            own = now;
        else
            p.trustedAfter = false;
    }
    p.compares = true;
    p.own = !p.trustedAfter;
    p.compared = p.ownAfter = own;
    return p;
}

// A scheduled minute the compared time went past between two compares.
void ZoneSim::CheckCrossing(time_t from, time_t to) {
    if (to <= from + 60 || to - from > 2 * kDay)
        return;
    std::set<int> dates;
    for (time_t t : {from, to, from + (to - from) / 2})
        dates.insert(DateKey(Local(t)));
    for (int i = 0; i < 3; ++i) {
        const struct tm day = DateAfter(Local(from), i);
        if (!dates.count(DateKey(day)))
            continue;
        const int wd = day.tm_wday;
        if (!m_sched.day[wd] || m_requested.count({DateKey(day), m_sched.minute[wd]}))
            continue;
        const int reached = ReachedOn(day, m_sched.minute[wd]);
        if (reached < 0)
            continue;
        for (time_t start : InstantsOf(day, reached)) {
            if (!(from < start && start + 60 <= to))
                continue;
            if (wd != m_targetDay || m_sched.minute[wd] != m_targetMinute) {
                ++m_stats.notWatched;
            } else if (m_countdownSinceCompare) {
                ++m_stats.countdownSkips;
            } else if (m_jumpSinceCompare || m_sourceChanged) {
                ++m_stats.jumpSkips;
            } else {
                ++m_stats.missed;
                Note("missed: the compared time passed over the scheduled minute", to);
            }
            break;
        }
    }
}

void ZoneSim::CheckWarning(const struct tm &at, time_t requestWall) {
    if (m_sched.warnMinutes == 0 || m_sched.warnMinutes >= 24 * 60)
        return;
    // The warning time by the clock: the scheduled time less the warning period, on
    // the evening before when that goes back past midnight.
    int w = m_targetMinute - int(m_sched.warnMinutes);
    struct tm day = at;
    if (w < 0) {
        w += 24 * 60;
        day = DateAfter(at, -1);
    }
    const int reached = ReachedOn(day, w);
    const std::vector<time_t> starts =
        reached < 0 ? std::vector<time_t>() : InstantsOf(day, reached);
    if (starts.empty())
        return;
    const time_t start = starts.front();
    // The warning is given once a run: one given for an earlier day is all there is.
    if (m_warnedAt && m_warnedAt < start)
        return;
    // Only a user who was there all along, in a run started before, must be warned;
    // and only when the warning's minute does not fall on the shut-down's own.
    if (!m_loggedOn || m_lastDisturb >= start - 30 || m_bootWall >= start - 120 ||
        start + 60 > requestWall || !m_trusted)
        return;
    if (!m_warnedAt) {
        ++m_stats.unwarned;
        Note("no warning before the request", requestWall);
    } else if (m_warnedAt < start || m_warnedAt > start + 20 + kMaxTickLate) {
        ++m_stats.warnLate;
        Note("warning not at the first tick of its minute", m_warnedAt);
    }
}

void ZoneSim::OnPolite(time_t compared, bool compares, long late) {
    ++m_stats.requests;
    const time_t wall = Wall();
    if (m_requestedThisRun) {
        ++m_stats.repeated;
        Note("a second polite request in one run", wall);
        return;
    }
    m_requestedThisRun = true;
    if (!compares) {
        ++m_stats.unscheduled;
        Note("request from a tick that compares nothing", wall);
        return;
    }
    const struct tm at = Local(compared);
    const int wd = at.tm_wday;
    const int minute = MinuteOf(at);
    const int date = DateKey(at);
    auto matches = [&](int day) {
        return m_sched.day[day] && minute == ReachedOn(at, m_sched.minute[day]);
    };
    if (!matches(wd)) {
        ++m_stats.unscheduled;
        Note("request at a time no schedule names", wall);
        return;
    }
    auto done = m_requested.find({date, m_sched.minute[wd]});
    if (done != m_requested.end()) {
        // The scheduler knows of an earlier request only the clock it recorded: a
        // request made by its own time, the clock set back, names another minute.
        const struct tm recorded = Local(done->second.wall);
        if (DateKey(recorded) == date && MinuteOf(recorded) >= minute) {
            ++m_stats.repeated;
            Note("repeated request for a scheduled time already requested", wall);
            return;
        }
        ++m_stats.clockRepeats;
    }
    m_requested[{date, m_sched.minute[wd]}] = {compared, wall};
    m_lastRequestWall = wall;
    if (m_dueMissed.count({date, m_sched.minute[wd]})) {
        ++m_stats.delayed;
        Note("request not at the first tick of the scheduled minute", wall);
    }
    if (ReachedOn(at, m_sched.minute[wd]) != m_sched.minute[wd])
        ++m_stats.dstGapRequests;
    if (InstantsOf(at, minute).size() > 1)
        ++m_stats.dstRepeatedHourRequests;
    if (m_trusted) {
        // Before a run's first compare, or after a countdown or a jump, the minute may
        // begin unseen: no lateness then.
        if (m_haveCompare && !m_jumpSinceCompare && !m_countdownSinceCompare) {
            const int into = at.tm_sec;
            m_stats.lateness.push_back(into);
            if (into > 20 + late) {
                ++m_stats.lateOver;
                Note("later than 20 s plus the tick's lateness", wall);
            }
        }
        CheckWarning(at, wall);
    }
}

void ZoneSim::Tick(UINT_PTR id, long late) {
    std::vector<UINT> &calls = fake::Plat().exitWindowsCalls;
    const size_t before = calls.size();
    Prediction p;
    const bool wasPending = m_dlg->m_bActionPending;
    const bool wasShuttingDown = m_dlg->m_bShuttingDown;
    if (id == IDT_SCHEDULER)
        p = Predict(*m_dlg, m_loggedOn, Wall(), m_own, m_trusted);
    fake::FireTimer(*m_dlg, id);
    if (!wasPending && m_dlg->m_bActionPending && !m_warnedAt) {
        m_warnedAt = Wall();
        Trace("warning", Wall());
    }

    if (id == IDT_SCHEDULER && !wasShuttingDown) {
        if (p.ownAfter != m_dlg->m_timeLast.GetTime() ||
            p.trustedAfter != bool(m_dlg->m_bDetectTimeChange)) {
            ++m_stats.ownTimeErrors;
            Note("own time off the rule", Wall());
        }
        // Follow the scheduler, so that one fault is counted once.
        m_own = m_dlg->m_timeLast.GetTime();
        if (m_trusted && !m_dlg->m_bDetectTimeChange)
            ++m_stats.detectedRuns;
        m_trusted = m_dlg->m_bDetectTimeChange;
    }
    if (p.countdown) {
        m_countdownSinceCompare = true;
        m_lastDisturb = Wall();
    }
    for (size_t i = before; i < calls.size(); ++i) {
        if (calls[i] & EWX_FORCE) {
            ++m_stats.forced;
            if (!m_downAt || m_downAt > m_real + 15)
                m_downAt = m_real + m_rng.Int(1, 15);
        } else {
            Trace("polite request; compared", Wall(), long(p.compared - Wall()), p.own);
            OnPolite(p.compared, p.compares, late);
            // Windows closes the programs, unless something refuses the polite request.
            if (!m_rng.Chance(0.15))
                m_downAt = m_real + m_rng.Int(2, 40);
        }
    }
    calls.clear();

    if (!p.compares || m_dlg->m_bShuttingDown)
        return;
    if (g_trace && std::labs(long(p.compared - m_targetStart)) < 90)
        Trace("compare near the target: compared, own", Wall(), long(p.compared - Wall()), p.own);
    // Due now by the rules and not requested: a miss at this very tick.
    const struct tm at = LocalOf(p.compared);
    if (!m_requestedThisRun && at.tm_wday == m_targetDay &&
        MinuteOf(at) == ReachedOn(at, m_targetMinute) &&
        !m_requested.count({DateKey(at), m_targetMinute}) &&
        m_dueMissed.insert({DateKey(at), m_targetMinute}).second) {
        ++m_stats.missed;
        Note("due at this tick, not requested", Wall());
    }
    m_sourceChanged = m_sourceChanged || (m_haveCompare && m_lastCompareWasOwn != p.own);
    if (m_haveCompare && p.compared < m_lastCompared)
        Prune(p.compared);
    if (m_haveCompare && (p.compared - m_lastCompared > 60 || p.compared < m_lastCompared))
        Trace("compared time leaps: from, to (relative to the clock)", Wall(),
              long(m_lastCompared - Wall()), long(p.compared - Wall()));
    if (m_haveCompare)
        CheckCrossing(m_lastCompared, p.compared);
    m_haveCompare = true;
    m_lastCompared = p.compared;
    m_lastCompareWasOwn = p.own;
    m_countdownSinceCompare = m_jumpSinceCompare = m_sourceChanged = false;
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
    MaybeNewSchedule();
    m_loggedOn = m_rng.Chance(0.4);
    fake::OsState().inputDesktop = m_loggedOn ? "Default" : "Winlogon";
    m_bootWall = Wall();
    m_lastDisturb = m_bootWall;
    Prune(m_bootWall);
    ComputeTarget();
    if (InstantsOf(Local(m_bootWall), MinuteOf(Local(m_bootWall))).size() > 1)
        ++m_stats.dstRepeatedHourBoots;

    m_dlg = std::make_unique<CVespraDlg>(nullptr, FALSE, TRUE, FALSE);
    fake::Open(*m_dlg);
    m_own = m_dlg->m_timeLast.GetTime();
    m_trusted = true;
    m_haveCompare = m_countdownSinceCompare = m_jumpSinceCompare = m_sourceChanged = false;
    m_requestedThisRun = false;
    m_warnedAt = 0;
    m_down = false;
    m_downAt = 0;
    m_timers.clear();
    PlanEvents(m_targetStart);
    Trace("boot: target weekday, minute", Wall(), m_targetDay, m_targetMinute);
    Trace("boot: the scheduler's next day index, its time", Wall(), m_dlg->m_nNextDay,
          m_dlg->m_nHour[(m_dlg->m_nNextDay + 6) % 7] * 60 +
              m_dlg->m_nMinute[(m_dlg->m_nNextDay + 6) % 7]);

    time_t secondPass = 0;
    bool requestSeen = false;
    while (m_real < m_end) {
        if (fake::IsEnded(*m_dlg)) {
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
        if (m_real >= m_end)
            break;
        if (timer) {
            Timer &t = m_timers[timer];
            const long late = t.late;
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
            Tick(id, late);
            if (id == IDT_SCHEDULER && m_requestedThisRun && !requestSeen) {
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
            m_lastDisturb = Wall();
            m_nextLogoff = m_real + m_rng.Exp(4 * 3600.0);
            break;
        case Logoff:
            Trace("log-off", Wall());
            m_nextLogoff = 0;
            m_dlg->OnEndSession(TRUE, ENDSESSION_LOGOFF);
            m_probeOffAt = m_real + m_rng.Int(0, 8);
            m_lastDisturb = Wall();
            break;
        case ProbeOff:
            Trace("log-off complete", Wall());
            m_probeOffAt = 0;
            m_loggedOn = false;
            fake::OsState().inputDesktop = "Winlogon";
            m_lastDisturb = Wall();
            m_nextLogon = m_real + NobodyFor();
            break;
        case Jump: {
            m_lastDisturb = Wall();
            m_jumpSinceCompare = true;
            const double r = m_rng.U();
            if (r < 0.33) {
                // Suspended: real time and the clock go on, no timer runs.
                SetReal(m_real + m_rng.LogInt(30, 2 * kDay));
            } else {
                long j = r < 0.66 ? m_rng.Int(1, 75) : m_rng.LogInt(120, 3 * kDay);
                if (m_rng.Chance(0.5))
                    j = -j;
                m_offset += j;
                SetReal(m_real);
            }
            m_lastDisturb = Wall();
            Trace("clock jump / suspend; offset", Wall(), m_offset, r < 0.33);
            m_nextJump = m_real + m_rng.Exp(6.0 * kDay);
            break;
        }
        case None:
            break;
        }
        if (m_down)
            break;
    }
    if (m_real < m_end && !m_requestedThisRun)
        Note("went down without a request", Wall());
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
    m_sched = RandomSchedule(m_rng);
    StoreSchedule(m_sched);
    while (m_real < m_end)
        Boot();
    m_stats.days = m_days;
    return m_stats;
}

[[noreturn]] void Usage() {
    fprintf(stderr, "usage: vespra_sim [--days N] [--seed S] [--zones a,b] [--start YYYY-MM-DD] "
                    "[--require-dst] [--verbose] [--trace]\n");
    exit(2);
}

} // namespace

int main(int argc, char **argv) {
    long days = 10000;
    uint64_t seed = 20261208;
    bool verbose = false;
    bool requireDst = false;
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
