// A settings record with no field at its default, and a field-by-field comparison,
// for the round trips through the stores.
#pragma once

#include <gtest/gtest.h>

#include "settings/schedule_settings.h"

// A record with no field at its default.
inline void FillNonDefault(ScheduleSettings &s) {
    const int hours[kDays] = {0, 7, 12, 19, 23, 5, 22};
    const int minutes[kDays] = {0, 5, 30, 59, 1, 45, 10};
    const BOOL days[kDays] = {0, 1, 0, 1, 0, 1, 1};
    for (int d = 0; d < kDays; ++d) {
        s.m_nHour[d] = hours[d];
        s.m_nMinute[d] = minutes[d];
        s.m_bDay[d] = days[d];
    }
    s.m_sPassword = "Pa55w0rd!x";
    s.m_bWelcome = 0;
    s.m_nWelcomeTime = 33;
    s.m_bLimit = 1;
    s.m_nLimitHours = 12;
    s.m_nWarningMinutes = 60;
    s.m_bShowWarning = 0;
    s.m_bDisableCpl = 1;
    s.m_bDisableRegPgms = 1;
    s.m_bShutdown = 0;
    s.m_bRestart = 1;
    s.m_bAmWarn = 0;
    s.m_bKillDosApps = 1;
}

inline void ExpectSameRecord(const ScheduleSettings &a, const ScheduleSettings &b) {
    for (int d = 0; d < kDays; ++d) {
        EXPECT_EQ(a.m_nHour[d], b.m_nHour[d]) << d;
        EXPECT_EQ(a.m_nMinute[d], b.m_nMinute[d]) << d;
        EXPECT_EQ(a.m_bDay[d], b.m_bDay[d]) << d;
    }
    EXPECT_EQ(a.m_sPassword, b.m_sPassword);
    EXPECT_EQ(a.m_bWelcome, b.m_bWelcome);
    EXPECT_EQ(a.m_nWelcomeTime, b.m_nWelcomeTime);
    EXPECT_EQ(a.m_bLimit, b.m_bLimit);
    EXPECT_EQ(a.m_nLimitHours, b.m_nLimitHours);
    EXPECT_EQ(a.m_nWarningMinutes, b.m_nWarningMinutes);
    EXPECT_EQ(a.m_bShowWarning, b.m_bShowWarning);
    EXPECT_EQ(a.m_bDisableCpl, b.m_bDisableCpl);
    EXPECT_EQ(a.m_bDisableRegPgms, b.m_bDisableRegPgms);
    EXPECT_EQ(a.m_bShutdown, b.m_bShutdown);
    EXPECT_EQ(a.m_bRestart, b.m_bRestart);
    EXPECT_EQ(a.m_bAmWarn, b.m_bAmWarn);
    EXPECT_EQ(a.m_bKillDosApps, b.m_bKillDosApps);
}
