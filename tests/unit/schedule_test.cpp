// The next shut-down day, warning times, next-time texts and the limit-use test.
#include "scheduler/scheduler.h"
#include "system/registry.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

class ScheduleTest : public SchedulerTest {
protected:
    void OnlyDays(std::initializer_list<int> daysOfWeek) {
        for (int d = 0; d < kDays; ++d)
            dlg.m_bDay[d] = 0;
        for (int d : daysOfWeek)
            dlg.m_bDay[d] = 1;
    }
    CVespraDlg dlg{nullptr, FALSE, FALSE, FALSE};
};

enum { Sun, Mon, Tue, Wed, Thu, Fri, Sat };

TEST_F(ScheduleTest, TodayStaysTheNextDayThroughItsShutdownMinute) {
    SetNow(2026, 12, 8, 23, 0, 40); // Tuesday, today's time is 23:00
    EXPECT_EQ(dlg.GetNextDay(), 3);
    EXPECT_EQ(dlg.MakeNextTimeText(), std::string("tonight at 11:00") + NBSP + "PM");

    SetNow(2026, 12, 8, 23, 1, 0);
    EXPECT_EQ(dlg.GetNextDay(), 4);
    EXPECT_EQ(dlg.MakeNextTimeText(), std::string("on Wednesday at 11:00") + NBSP + "PM");
}

TEST_F(ScheduleTest, EveningStartsAtNineteenHundred) {
    dlg.m_nHour[Tue] = 18;
    dlg.m_nMinute[Tue] = 59;
    EXPECT_EQ(dlg.MakeNextTimeText(), std::string("today at 6:59") + NBSP + "PM");
    dlg.m_nHour[Tue] = 19;
    dlg.m_nMinute[Tue] = 0;
    EXPECT_EQ(dlg.MakeNextTimeText(), std::string("tonight at 7:00") + NBSP + "PM");
}

TEST_F(ScheduleTest, EveryWeekdayHasItsOwnText) {
    const char *expected[] = {"on Sunday at",   "on Monday at", "on Tuesday at", "on Wednesday at",
                              "on Thursday at", "on Friday at", "on Saturday at"};
    SetNow(2026, 12, 8, 23, 30, 0); // Tuesday, after today's time
    for (int d = 0; d < kDays; ++d) {
        if (d == Tue)
            continue;
        OnlyDays({d});
        EXPECT_EQ(dlg.GetNextDay(), d + 1);
        EXPECT_EQ(dlg.MakeNextTimeText().rfind(expected[d], 0), 0u) << d;
    }
    // Today the only day and its time passed: today's index again, meaning next week.
    OnlyDays({Tue});
    EXPECT_EQ(dlg.GetNextDay(), 3);
}

TEST_F(ScheduleTest, NoDayEnabledGivesYesterday) {
    OnlyDays({});
    EXPECT_EQ(dlg.GetNextDay(), 2); // Monday, the day before Tuesday
}

TEST_F(ScheduleTest, TimeAfterMidnightBelongsToItsOwnDay) {
    OnlyDays({Mon, Tue});
    dlg.m_nHour[Tue] = 0;
    dlg.m_nMinute[Tue] = 30;
    SetNow(2026, 12, 7, 23, 30, 0); // Monday evening, Monday's 23:00 passed
    EXPECT_EQ(dlg.GetNextDay(), 3);
    EXPECT_EQ(dlg.MakeNextTimeText(), std::string("on Tuesday at 12:30") + NBSP + "AM");
    OnlyDays({Tue}); // Monday disabled: the same answer
    EXPECT_EQ(dlg.GetNextDay(), 3);
}

TEST_F(ScheduleTest, NextTimeTextIsPublishedToTheRunState) {
    dlg.m_bRestart = 1;
    dlg.m_bUseRegistry = 0;
    const std::string text = dlg.MakeNextTimeText();
    EXPECT_EQ(fake::GetString(kSettingsKey, "curr_shutdowntime"), text);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_restarting"), 1u);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_useregistry"), 0u);
    EXPECT_EQ(fake::GetType(kSettingsKey, "curr_restarting"), DWORD(REG_DWORD));
}

TEST_F(ScheduleTest, WarningTimes) {
    dlg.m_nWarningMinutes = 5;
    dlg.m_nHour[Sun] = 0;
    dlg.m_nMinute[Sun] = 2; // a shut-down just after midnight warns late the evening before
    dlg.m_nHour[Mon] = 23;
    dlg.m_nMinute[Mon] = 0;
    dlg.m_nHour[Tue] = 24; // out of range: never warns
    dlg.m_nMinute[Wed] = 60;
    dlg.m_nHour[Thu] = -1;
    dlg.ComputeWarningTimes();
    EXPECT_EQ(dlg.m_nWarnHour[Sun], 23);
    EXPECT_EQ(dlg.m_nWarnMinute[Sun], 57);
    EXPECT_EQ(dlg.m_nWarnHour[Mon], 22);
    EXPECT_EQ(dlg.m_nWarnMinute[Mon], 55);
    for (int d : {Tue, Wed, Thu}) {
        EXPECT_EQ(dlg.m_nWarnHour[d], 99) << d;
        EXPECT_EQ(dlg.m_nWarnMinute[d], 99) << d;
    }
}

TEST_F(ScheduleTest, HugeWarningPeriodStaysInRange) {
    dlg.m_nWarningMinutes = 0xFFFFFFFFu; // as a hand-edited store might hold
    dlg.ComputeWarningTimes();
    for (int d = 0; d < kDays; ++d) {
        EXPECT_GE(dlg.m_nWarnHour[d], 0);
        EXPECT_LE(dlg.m_nWarnHour[d], 23);
        EXPECT_GE(dlg.m_nWarnMinute[d], 0);
        EXPECT_LE(dlg.m_nWarnMinute[d], 59);
    }
}

TEST_F(ScheduleTest, OutOfRangeTimesStillMakeATextWithoutCrashing) {
    dlg.m_nHour[Tue] = 99;
    dlg.m_nMinute[Tue] = -5;
    SetNow(2026, 12, 8, 10, 0, 0);
    EXPECT_FALSE(dlg.MakeNextTimeText().empty());
}

class LimitUseTest : public ScheduleTest {
protected:
    void SetUp() override {
        ScheduleTest::SetUp();
        dlg.m_bLimit = 1;
        dlg.m_nLimitHours = 3;
        OnlyDays({Mon});
    }
};

TEST_F(LimitUseTest, DueWithinTheHoursAfterYesterdaysTime) {
    SetNow(2026, 12, 8, 1, 0, 0); // Tuesday 01:00, Monday's time 23:00
    EXPECT_TRUE(dlg.IsLimitUseDue());
    SetNow(2026, 12, 8, 1, 59, 59);
    EXPECT_TRUE(dlg.IsLimitUseDue());
    SetNow(2026, 12, 8, 2, 0, 0);
    EXPECT_FALSE(dlg.IsLimitUseDue());
}

TEST_F(LimitUseTest, DueFromTodaysTimeOn) {
    OnlyDays({Tue});
    SetNow(2026, 12, 8, 22, 59, 59);
    EXPECT_FALSE(dlg.IsLimitUseDue());
    SetNow(2026, 12, 8, 23, 0, 0);
    EXPECT_TRUE(dlg.IsLimitUseDue());
}

TEST_F(LimitUseTest, OnlyForAnEnabledShutdownWithLimitExactlyOne) {
    SetNow(2026, 12, 8, 1, 0, 0);
    dlg.m_bRestart = 1;
    EXPECT_FALSE(dlg.IsLimitUseDue());
    dlg.m_bRestart = 0;
    dlg.m_bLimit = 2;
    EXPECT_FALSE(dlg.IsLimitUseDue());
    dlg.m_bLimit = 1;
    dlg.m_nLimitHours = 0;
    EXPECT_FALSE(dlg.IsLimitUseDue());
    dlg.m_nLimitHours = 3;
    OnlyDays({Wed}); // yesterday not enabled
    EXPECT_FALSE(dlg.IsLimitUseDue());
}

TEST_F(LimitUseTest, CountsRealHoursAcrossTheEndOfDaylightSaving) {
    // Saturday 31 October 2026 23:00 EDT; the clocks go back at 02:00 on Sunday.
    OnlyDays({Sat});
    SetNow(2026, 11, 1, 1, 30, 0, 1); // 01:30 EDT: two and a half hours on
    EXPECT_TRUE(dlg.IsLimitUseDue());
    SetNow(2026, 11, 1, 1, 30, 0, 0); // 01:30 EST: three and a half hours on
    EXPECT_FALSE(dlg.IsLimitUseDue());
}

TEST_F(ScheduleTest, DefaultsAreTheDocumentedOnes) {
    dlg.m_sPassword = "secret";
    dlg.m_bRestart = 1;
    dlg.m_bShutdown = 0;
    dlg.m_bDisableCpl = 1;
    dlg.SetDefaults();
    const BOOL days[kDays] = {1, 1, 1, 1, 1, 0, 0};
    for (int d = 0; d < kDays; ++d) {
        EXPECT_EQ(dlg.m_bDay[d], days[d]);
        EXPECT_EQ(dlg.m_nHour[d], 23);
        EXPECT_EQ(dlg.m_nMinute[d], 0);
        EXPECT_EQ(dlg.m_nWarnHour[d], 22);
        EXPECT_EQ(dlg.m_nWarnMinute[d], 55);
    }
    EXPECT_EQ(dlg.m_bShutdown, 1);
    EXPECT_EQ(dlg.m_bRestart, 0);
    EXPECT_EQ(dlg.m_bWelcome, 1);
    EXPECT_EQ(dlg.m_nWelcomeTime, 10u);
    EXPECT_EQ(dlg.m_bShowWarning, 1);
    EXPECT_EQ(dlg.m_nWarningMinutes, 5u);
    EXPECT_EQ(dlg.m_bLimit, 0);
    EXPECT_EQ(dlg.m_nLimitHours, 9u);
    EXPECT_FALSE(dlg.m_sPassword.IsSet());
    EXPECT_EQ(dlg.m_bDisableCpl, 0);
    EXPECT_EQ(dlg.m_bDisableRegPgms, 0);
    EXPECT_EQ(dlg.m_bKillDosApps, 0);
    EXPECT_EQ(dlg.m_bAmWarn, 1);
    EXPECT_EQ(dlg.m_nNextDay, 3); // Tuesday noon: today
}

} // namespace
