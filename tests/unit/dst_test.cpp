// Daylight saving time and the scheduled minute, in two time zones: a time the clock
// skips in spring is reached at the first tick after the gap, and a time the clock
// shows twice in autumn is requested once, also by a scheduler started between the
// two. The real scheduler runs in simulated time at its own timer intervals.
#include <map>
#include <memory>
#include <vector>

#include "scheduler/scheduler.h"
#include "settings/run_state.h"
#include "tests/support/fake_platform.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

struct Zone {
    const char *tz;
    int year, springMonth, springDay; // the clock goes from 02:00 to 03:00
    int fallMonth, fallDay, fallHour; // the hour fallHour:00-59 comes twice
};
const Zone kZones[] = {{"America/New_York", 2026, 3, 8, 11, 1, 1},
                       {"Europe/Berlin", 2026, 3, 29, 10, 25, 2}};

struct Polite {
    time_t at;
    UINT flags;
};

class DstTest : public SchedulerTest {
protected:
    void Use(const Zone &z) {
        UseTimeZone(z.tz);
        fake::ResetAll();
        polite.clear();
        warnedAt = 0;
    }
    // A scheduler as the service starts it, with every day at h:m and the given days.
    void Start(int h, int m, const std::vector<int> &days = {0, 1, 2, 3, 4, 5, 6}, UINT warn = 5) {
        {
            CVespraDlg settings(nullptr, FALSE, TRUE, FALSE);
            for (int d = 0; d < kDays; ++d) {
                settings.m_nHour[d] = h;
                settings.m_nMinute[d] = m;
                settings.m_bDay[d] = 0;
            }
            for (int d : days)
                settings.m_bDay[d] = 1;
            settings.m_nWarningMinutes = warn;
            settings.m_bWelcome = 0;
            settings.WriteRegistry();
        }
        dlg.reset();
        fake::Reset(); // a new process; the registry stays
        dlg = std::make_unique<CVespraDlg>(nullptr, FALSE, TRUE, FALSE);
        fake::Open(*dlg);
        due.clear();
    }
    // Ticks timer 99 (and 100) at their intervals for the given seconds.
    void Run(long seconds) {
        const time_t end = fake::Now() + seconds;
        for (;;) {
            fake::Window *w = fake::WindowOf(*dlg);
            if (!w || w->ended)
                break;
            std::map<UINT_PTR, time_t> next;
            for (const auto &[id, ms] : w->timers) {
                auto it = due.find(id);
                next[id] = it != due.end() && it->second.first == ms ? it->second.second
                                                                     : fake::Now() + ms / 1000;
            }
            UINT_PTR id = 0;
            for (const auto &[i, at] : next)
                if (!id || at < next[id])
                    id = i;
            if (!id || next[id] > end)
                break;
            fake::SetNow(next[id]);
            due.clear();
            for (const auto &[i, at] : next)
                due[i] = {w->timers[i], i == id ? at + w->timers[i] / 1000 : at};
            const size_t before = Calls().size();
            fake::FireTimer(*dlg, id);
            for (size_t i = before; i < Calls().size(); ++i)
                if (!(Calls()[i] & EWX_FORCE))
                    polite.push_back({fake::Now(), Calls()[i]});
            if (dlg->m_bActionPending && !warnedAt)
                warnedAt = fake::Now();
        }
        fake::SetNow(end);
    }
    static std::vector<UINT> &Calls() { return fake::Plat().exitWindowsCalls; }
    static struct tm Fields(time_t t) { return CTime(t).GetLocalTm(); }

    std::unique_ptr<CVespraDlg> dlg;
    std::map<UINT_PTR, std::pair<UINT, time_t>> due;
    std::vector<Polite> polite;
    time_t warnedAt = 0;
};

// Spring: the time the clock skips comes at the first tick after the gap (03:00 by
// the clock), warned of before it when the warning falls in the gap and the
// shut-down after it.
TEST_F(DstTest, ATimeTheClockSkipsComesAtTheFirstTickAfterTheGap) {
    struct Case {
        int h, m;         // the shut-down time
        int warnH, warnM; // when the warning comes by the clock; -1: none
        int shutH, shutM; // the minute of the request by the clock
    };
    const Case cases[] = {
        {2, 30, -1, -1, 3, 0}, // both in the gap: a warning of no time would only delay it
        {2, 0, 1, 55, 3, 0},   // the first skipped minute; its warning is before the gap
        {3, 2, 3, 0, 3, 2},    // warning at 02:57, in the gap: at 03:00, 2 minutes before
        {3, 30, 3, 25, 3, 30}, // after the gap: unchanged
    };
    for (const Zone &z : kZones)
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << z.tz << " " << c.h << ":" << c.m);
            Use(z);
            SetNow(z.year, z.springMonth, z.springDay, 1, 0, 7);
            Start(c.h, c.m);
            Run(4 * 3600);
            ASSERT_EQ(polite.size(), 1u);
            const struct tm at = Fields(polite[0].at);
            EXPECT_EQ(at.tm_mday, z.springDay);
            EXPECT_EQ(at.tm_hour * 60 + at.tm_min, c.shutH * 60 + c.shutM);
            EXPECT_LT(at.tm_sec, 20) << "the first tick of the minute";
            if (c.warnH < 0) {
                EXPECT_EQ(warnedAt, 0);
            } else {
                ASSERT_NE(warnedAt, 0);
                const struct tm w = Fields(warnedAt);
                EXPECT_EQ(w.tm_hour * 60 + w.tm_min, c.warnH * 60 + c.warnM);
            }
        }
}

// Spring, read at a start: a time in the gap counts as not passed until the minute
// after the gap has passed.
TEST_F(DstTest, ATimeInTheGapIsTodaysUntilTheMinuteAfterTheGap) {
    for (const Zone &z : kZones) {
        SCOPED_TRACE(z.tz);
        Use(z);
        const struct Case {
            int h, m, s;
            int expected; // day index; the spring change is on a Sunday (1)
        } cases[] = {{1, 59, 0, 1}, {3, 0, 40, 1}, {3, 1, 0, 2}};
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.h << ":" << c.m << ":" << c.s);
            SetNow(z.year, z.springMonth, z.springDay, c.h, c.m, c.s);
            Start(2, 30);
            EXPECT_EQ(dlg->m_nNextDay, c.expected);
        }
    }
}

// Autumn: a request in the first pass of the repeated hour, then a start while the
// hour repeats (the user turns the machine on again) must not request the same day's
// shut-down again; the next one is the next enabled day, never a day that is off.
TEST_F(DstTest, ATimeTheClockShowsTwiceIsRequestedOnce) {
    struct Case {
        const char *name;
        std::vector<int> days; // enabled days of week; the change is on a Sunday (0)
        int nextDay;           // expected day index after the second start
    };
    const Case cases[] = {{"every day", {0, 1, 2, 3, 4, 5, 6}, 2},
                          {"Monday off", {0, 2, 3, 4, 5, 6}, 3},
                          {"only Sunday", {0}, 1}};
    for (const Zone &z : kZones)
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << z.tz << " " << c.name);
            Use(z);
            // The scheduler runs through the first pass and requests at hh:30.
            SetNow(z.year, z.fallMonth, z.fallDay, z.fallHour - 1, 0, 3, 1);
            Start(z.fallHour, 30, c.days);
            Run(5400 + 30);
            ASSERT_EQ(polite.size(), 1u);
            const time_t first = polite[0].at;
            EXPECT_EQ(Fields(first).tm_isdst, 1);
            EXPECT_EQ(Fields(first).tm_min, 30);

            // Off for 40 minutes: back at hh:10 standard time, the hour's second pass.
            polite.clear();
            fake::SetNow(first + 40 * 60);
            ASSERT_EQ(Fields(fake::Now()).tm_isdst, 0);
            ASSERT_EQ(Fields(fake::Now()).tm_hour, z.fallHour);
            Start(z.fallHour, 30, c.days);
            EXPECT_EQ(dlg->m_nNextDay, c.nextDay);
            Run(3 * 3600);
            EXPECT_TRUE(polite.empty())
                << "requested again at " << Fields(polite.empty() ? 0 : polite[0].at).tm_hour;
        }
}

// Autumn, the other way round: a machine first on in the second pass has had no
// request yet, and gets one, once.
TEST_F(DstTest, AStartInTheSecondPassWithoutARequestStillShutsDown) {
    for (const Zone &z : kZones) {
        SCOPED_TRACE(z.tz);
        Use(z);
        SetNow(z.year, z.fallMonth, z.fallDay, z.fallHour, 10, 0, 0);
        Start(z.fallHour, 30);
        Run(2 * 3600);
        ASSERT_EQ(polite.size(), 1u);
        EXPECT_EQ(Fields(polite[0].at).tm_isdst, 0);
        EXPECT_EQ(Fields(polite[0].at).tm_min, 30);
    }
}

// The restart that comes back within the scheduled minute: no second request, and
// the next day is the next enabled one, not the day after when that is off.
TEST_F(DstTest, ARestartWithinTheMinuteMovesOnToTheNextEnabledDay) {
    for (const Zone &z : kZones) {
        SCOPED_TRACE(z.tz);
        Use(z);
        // Tuesday 8 December; Wednesday off.
        SetNow(z.year, 12, 8, 22, 59, 50);
        Start(23, 0, {0, 1, 2, 4, 5, 6});
        Run(25);
        ASSERT_EQ(polite.size(), 1u);
        polite.clear();
        fake::SetNow(fake::Now() + 30);
        ASSERT_EQ(Fields(fake::Now()).tm_min, 0);
        Start(23, 0, {0, 1, 2, 4, 5, 6});
        EXPECT_EQ(dlg->m_nNextDay, 5); // Thursday
        Run(2 * 3600);
        EXPECT_TRUE(polite.empty());
    }
}

} // namespace
