// The locale's time format, the display text of a time of day, and the copies of
// the record into and out of the settings dialog.
#include "framework/text.h"
#include "scheduler/scheduler.h"
#include "settings/policy.h"
#include "system/os.h"
#include "ui/settings_dlg.h"

namespace {
// One locale answer, read into a 10-character buffer. A failed call reads as empty.
std::string LocaleText(DWORD item) {
    char buffer[10] = {};
    if (!GetUserLocaleInfo(item, buffer, sizeof buffer))
        return std::string();
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}
} // namespace

void CVespraDlg::ReadLocale() {
    m_sTimeSep = LocaleText(LOCALE_STIME);
    m_sAM = LocaleText(LOCALE_S1159);
    m_sPM = LocaleText(LOCALE_S2359);
    m_b24Hour = LocaleText(LOCALE_ITIME)[0] == '1' ? 1 : 0;
    if (!m_b24Hour) {
        if (m_sAM.empty())
            m_sAM = "AM";
        if (m_sPM.empty())
            m_sPM = "PM";
    }
}

std::string CVespraDlg::FormatTime(int hour, int minute) {
    if (m_sTimeSep.empty())
        ReadLocale();
    if (m_b24Hour)
        return StrFormat("%u%s%02u", unsigned(hour), m_sTimeSep.c_str(), unsigned(minute));
    const int shown = hour > 12 ? hour - 12 : hour == 0 ? 12 : hour;
    const std::string &designator = hour < 12 ? m_sAM : m_sPM;
    // A no-break space keeps the time and its designator on one line.
    return StrFormat("%u%s%02u\xA0%s", unsigned(shown), m_sTimeSep.c_str(), unsigned(minute),
                     designator.c_str());
}

void CVespraDlg::CopyToSettingsDlg(CSettingsDlg &dlg) const {
    dlg.m_bWelcome = m_bWelcome;
    dlg.m_nWelcomeTime = m_nWelcomeTime;
    for (int d = 0; d < kDays; ++d) {
        dlg.m_nHour[d] = m_nHour[d];
        dlg.m_nMinute[d] = m_nMinute[d];
        dlg.m_bDay[d] = m_bDay[d];
    }
    dlg.m_sPassword = m_sPassword;
    dlg.m_bLimit = m_bLimit;
    dlg.m_nLimitHours = m_nLimitHours;
    dlg.m_nWarningMinutes = m_nWarningMinutes;
    dlg.m_bShowWarning = m_bShowWarning;
    dlg.m_bDisableCpl = m_bDisableCpl;
    dlg.m_bDisableRegPgms = m_bDisableRegPgms;
    dlg.m_nManaged = m_nManaged;
    std::string machine;
    if (GetMachineTimeZoneName(machine) && machine != ScheduleZoneName())
        dlg.m_sTimeZone = ScheduleZoneName();
}

void CVespraDlg::CopyFromSettingsDlg(const CSettingsDlg &dlg) {
    m_bShutdown = dlg.m_bShutdown;
    m_bRestart = dlg.m_bRestart;
    m_bAmWarn = dlg.m_bAmWarn;
    m_bKillDosApps = dlg.m_bKillDosApps;
    m_bWelcome = dlg.m_bWelcome;
    m_nWelcomeTime = dlg.m_nWelcomeTime;
    for (int d = 0; d < kDays; ++d)
        m_bDay[d] = dlg.m_bDay[d];
    for (int d = 0; d < kDays; ++d) {
        m_nHour[d] = dlg.m_nHour[d];
        m_nMinute[d] = dlg.m_nMinute[d];
    }
    m_sPassword = dlg.m_sPassword;
    m_bLimit = dlg.m_bLimit;
    m_nLimitHours = dlg.m_nLimitHours;
    m_bShowWarning = dlg.m_bShowWarning;
    m_nWarningMinutes = dlg.m_nWarningMinutes;
    m_bDisableCpl = dlg.m_bDisableCpl;
    m_bDisableRegPgms = dlg.m_bDisableRegPgms;
    // What the organisation manages stays as it set it.
    ApplyPolicy(m_policy, *this);
    // Times set now are the machine's zone's: saving adopts it.
    const std::string was = ScheduleZoneName();
    GetMachineTimeZoneName(m_sTimeZone);
    UseStoredZone();
    // The last compare's minute was the old zone's: compare from the new one's now.
    if (ScheduleZoneName() != was)
        CompareFrom(m_timeLast);
    ComputeWarningTimes();
    m_nNextDay = GetNextDay();
}
