// The settings record: everything the administrator configures. The scheduler
// dialog holds exactly one, as plain members.
#pragma once

#include <string>

#include "framework/win32_types.h"
#include "settings/password.h"

// Per-day arrays are indexed by day-of-week, Sunday = 0 .. Saturday = 6.
constexpr int kDays = 7;

struct ScheduleSettings {
    int m_nHour[kDays] = {23, 23, 23, 23, 23, 23, 23};
    int m_nMinute[kDays] = {0, 0, 0, 0, 0, 0, 0};
    PasswordLock m_sPassword;   // not set = no password
    BOOL m_bWelcome = 1;        // show the startup countdown
    UINT m_nWelcomeTime = 10;   // seconds of the startup countdown
    BOOL m_bLimit = 0;          // limit use (only the value 1 counts)
    UINT m_nLimitHours = 9;     // hours after a shut-down time with limited use
    UINT m_nWarningMinutes = 5; // minutes of warning
    BOOL m_bShowWarning = 1;
    BOOL m_bDisableCpl = 0;     // disable the Date/Time control panel while active
    BOOL m_bDisableRegPgms = 0; // disable registry-modifying programs while active
    BOOL m_bShutdown = 1;       // action Shut down
    BOOL m_bRestart = 0;        // action Restart; both 0 = Off
    BOOL m_bAmWarn = 1;         // ask about times after midnight
    BOOL m_bKillDosApps = 0;
    BOOL m_bDay[kDays] = {1, 1, 1, 1, 1, 0, 0};
    // The key name of the time zone the times were set in; empty: the machine's.
    std::string m_sTimeZone;
};

// The start values handed to the settings dialog's constructor.
struct SettingsDlgData {
    PasswordLock sPassword;
    std::string sTimeSep;
    BOOL bShutdown = 1;
    BOOL bRestart = 0;
    BOOL b24Hour = 1;
    BOOL bAmWarn = 1;
    BOOL bKillDosApps = 0;
};
