// Settings records for the round trips through the stores, and one text of every
// field: two records compare as two texts, and a failure shows their difference.
// Shared by the unit, fuzz and Wine tests, so it needs no test framework.
#pragma once

#include <string>

#include "framework/text.h"
#include "settings/schedule_settings.h"

// The times of the week, Sunday first.
inline void SetTimes(ScheduleSettings &s, const int hours[kDays], const int minutes[kDays]) {
    for (int d = 0; d < kDays; ++d) {
        s.m_nHour[d] = hours[d];
        s.m_nMinute[d] = minutes[d];
    }
}

// A record with no field at its default.
inline void FillNonDefault(ScheduleSettings &s) {
    const int hours[kDays] = {0, 7, 12, 19, 23, 5, 22};
    const int minutes[kDays] = {0, 5, 30, 59, 1, 45, 10};
    const BOOL days[kDays] = {0, 1, 0, 1, 0, 1, 1};
    SetTimes(s, hours, minutes);
    for (int d = 0; d < kDays; ++d)
        s.m_bDay[d] = days[d];
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

// Record n (1 or 2): every field differs between the two, the action included.
inline void NumberedSettings(ScheduleSettings &s, unsigned n) {
    for (int d = 0; d < kDays; ++d) {
        s.m_nHour[d] = int((n * 5 + unsigned(d)) % 24);
        s.m_nMinute[d] = int((n * 11 + unsigned(d)) % 60);
        s.m_bDay[d] = BOOL((n + unsigned(d)) % 2);
    }
    s.m_sPassword = "pass" + std::to_string(n);
    s.m_bShutdown = BOOL(n == 1);
    s.m_bRestart = BOOL(n == 2);
    s.m_bWelcome = BOOL(n == 1);
    s.m_nWelcomeTime = 10 + n;
    s.m_bShowWarning = BOOL(n == 2);
    s.m_nWarningMinutes = n;
    s.m_bLimit = BOOL(n == 1);
    s.m_nLimitHours = 2 + n;
    s.m_bDisableCpl = BOOL(n == 2);
    s.m_bDisableRegPgms = BOOL(n == 1);
    s.m_bKillDosApps = BOOL(n == 2);
    s.m_bAmWarn = BOOL(n == 1);
}

inline std::string Hex(const std::string &bytes) {
    std::string hex;
    for (unsigned char c : bytes)
        hex += StrFormat("%02x", unsigned(c));
    return hex;
}

// The password as the stores write it (its hash record, or its scrambled form), in
// hex: either may hold any byte, a NUL included.
inline std::string DescribeSettings(const ScheduleSettings &s) {
    std::string d;
    for (int i = 0; i < kDays; ++i)
        d += StrFormat("%d:%02d/%d ", s.m_nHour[i], s.m_nMinute[i], int(s.m_bDay[i]));
    d += "pw=" + Hex(s.m_sPassword.Record()) + "/" + Hex(s.m_sPassword.OldForm());
    d += " tz=" + s.m_sTimeZone;
    return d + StrFormat(" act=%d,%d welcome=%d,%u warn=%d,%u limit=%d,%u cpl=%d reg=%d "
                         "dos=%d am=%d",
                         int(s.m_bShutdown), int(s.m_bRestart), int(s.m_bWelcome), s.m_nWelcomeTime,
                         int(s.m_bShowWarning), s.m_nWarningMinutes, int(s.m_bLimit),
                         s.m_nLimitHours, int(s.m_bDisableCpl), int(s.m_bDisableRegPgms),
                         int(s.m_bKillDosApps), int(s.m_bAmWarn));
}
