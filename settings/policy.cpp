#include "settings/policy.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "settings/settings_text.h"
#include "system/log.h"

namespace {

// The numbers and switches a policy may set, with the range the settings dialog
// accepts; a switch is 0 or 1.
struct NumberRule {
    const char *name;
    unsigned item;
    BOOL ScheduleSettings::*flag;
    UINT ScheduleSettings::*count;
    UINT low, high;
};
const NumberRule kNumberRules[] = {
    {"status", kManagedAction, &ScheduleSettings::m_bShutdown, nullptr, 0, 1},
    {"restart", kManagedAction, &ScheduleSettings::m_bRestart, nullptr, 0, 1},
    {"welcome", kManagedWelcome, &ScheduleSettings::m_bWelcome, nullptr, 0, 1},
    {"welcometime", kManagedWelcomeTime, nullptr, &ScheduleSettings::m_nWelcomeTime, 1, 60},
    {"showwarning", kManagedShowWarning, &ScheduleSettings::m_bShowWarning, nullptr, 0, 1},
    {"warningminutes", kManagedWarningMinutes, nullptr, &ScheduleSettings::m_nWarningMinutes, 1, 60},
    {"limit", kManagedLimit, &ScheduleSettings::m_bLimit, nullptr, 0, 1},
    {"limithours", kManagedLimitHours, nullptr, &ScheduleSettings::m_nLimitHours, 1, 12},
    {"killdosapps", kManagedKillDosApps, &ScheduleSettings::m_bKillDosApps, nullptr, 0, 1},
    {"disablecpl", kManagedDisableCpl, &ScheduleSettings::m_bDisableCpl, nullptr, 0, 1},
    {"disableregpgms", kManagedDisableRegPgms, &ScheduleSettings::m_bDisableRegPgms, nullptr, 0, 1},
};

std::set<std::string> g_loggedMalformed;

void LogMalformed(const std::string &name, const StoredValue &value) {
    if (g_loggedMalformed.insert(name + '\n' + value.bytes).second)
        WriteLog("Malformed policy value \"" + name + "\" ignored");
}

// A REG_SZ's text without its terminating NUL; false for anything else.
bool AsText(const StoredValue &v, std::string &out) {
    if (v.type != REG_SZ)
        return false;
    out = v.bytes;
    if (!out.empty() && out.back() == '\0')
        out.pop_back();
    return out.find('\0') == std::string::npos;
}

bool ReadDays(const std::string &text, BOOL days[kDays]) {
    BOOL read[kDays] = {};
    if (ParseRegistryDays(text.c_str(), read) != kDays)
        return false;
    for (int d = 0; d < kDays; ++d)
        if (UINT(read[d]) > 1)
            return false;
    std::copy(read, read + kDays, days);
    return true;
}

bool ReadTimes(const std::string &text, int hours[kDays], int minutes[kDays]) {
    int h[kDays] = {}, m[kDays] = {};
    if (ParseRegistryTimes(text.c_str(), h, m) != kDays)
        return false;
    for (int d = 0; d < kDays; ++d)
        if (IsTimeOutOfRange(h[d], m[d]))
            return false;
    std::copy(h, h + kDays, hours);
    std::copy(m, m + kDays, minutes);
    return true;
}

} // namespace

unsigned ApplyPolicy(const StoredSettings &policy, ScheduleSettings &settings) {
    unsigned managed = 0;
    for (const NumberRule &rule : kNumberRules) {
        const auto v = policy.find(rule.name);
        if (v == policy.end())
            continue;
        DWORD value = 0;
        if (!PolicyDword(v->second, value) || value < rule.low || value > rule.high) {
            LogMalformed(rule.name, v->second);
            continue;
        }
        if (rule.flag)
            settings.*rule.flag = BOOL(value);
        else
            settings.*rule.count = UINT(value);
        managed |= rule.item;
    }
    DWORD status = 0, restart = 0;
    if (PolicyAction(policy, status, restart)) {
        settings.m_bShutdown = BOOL(status);
        settings.m_bRestart = BOOL(restart);
    }
    std::string text;
    if (const auto v = policy.find("days"); v != policy.end()) {
        if (AsText(v->second, text) && ReadDays(text, settings.m_bDay))
            managed |= kManagedDays;
        else
            LogMalformed("days", v->second);
    }
    if (const auto v = policy.find("times"); v != policy.end()) {
        if (AsText(v->second, text) && ReadTimes(text, settings.m_nHour, settings.m_nMinute))
            managed |= kManagedTimes;
        else
            LogMalformed("times", v->second);
    }
    return managed;
}

void CopyPolicyItems(unsigned items, const ScheduleSettings &from, ScheduleSettings &to) {
    for (const NumberRule &rule : kNumberRules) {
        if (!(items & rule.item))
            continue;
        if (rule.flag)
            to.*rule.flag = from.*rule.flag;
        else
            to.*rule.count = from.*rule.count;
    }
    if (items & kManagedDays)
        std::copy(from.m_bDay, from.m_bDay + kDays, to.m_bDay);
    if (items & kManagedTimes) {
        std::copy(from.m_nHour, from.m_nHour + kDays, to.m_nHour);
        std::copy(from.m_nMinute, from.m_nMinute + kDays, to.m_nMinute);
    }
}

void ForgetPolicyLog() { g_loggedMalformed.clear(); }
