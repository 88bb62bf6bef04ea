// The two settings records that settings_writer_tool writes by turns, and a text of
// every field, so a test can tell which record a key reads as (or that it is a mix).
#pragma once

#include <string>

#include "framework/text.h"
#include "settings/schedule_settings.h"

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

inline std::string DescribeSettings(const ScheduleSettings &s) {
    std::string d;
    for (int i = 0; i < kDays; ++i)
        d += StrFormat("%d:%02d/%d ", s.m_nHour[i], s.m_nMinute[i], int(s.m_bDay[i]));
    return d + StrFormat("pw=%s act=%d,%d welcome=%d,%u warn=%d,%u limit=%d,%u cpl=%d reg=%d "
                         "dos=%d am=%d",
                         s.m_sPassword.c_str(), int(s.m_bShutdown), int(s.m_bRestart),
                         int(s.m_bWelcome), s.m_nWelcomeTime, int(s.m_bShowWarning),
                         s.m_nWarningMinutes, int(s.m_bLimit), s.m_nLimitHours,
                         int(s.m_bDisableCpl), int(s.m_bDisableRegPgms), int(s.m_bKillDosApps),
                         int(s.m_bAmWarn));
}
