// Applying the policy values to a settings record (policy.cpp reads them).
#include "settings/policy.h"

#include <algorithm>
#include <set>

#include "settings/policy_rules.h"
#include "settings/settings_text.h"
#include "system/log.h"

namespace {

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
        if (!AsDword(v->second, value) || value < rule.low || value > rule.high) {
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
