// Reading the policy values, all the service host needs of them; applying them to
// the settings is in policy_apply.cpp.
#include "settings/policy.h"

#include "settings/policy_rules.h"
#include "system/registry.h"

const char *const kPolicyKey = "SOFTWARE\\Policies\\Vespra";
const char *const kPoliciesKey = "SOFTWARE\\Policies";

const NumberRule kNumberRules[kNumberRuleCount] = {
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

namespace {
const char *const kTextNames[] = {"days", "times"};
const char *const kSwitchNames[] = {"logfile"};
} // namespace

StoredSettings ReadPolicyValues() {
    StoredSettings values;
    RegKey key;
    if (key.Open(kPolicyKey, RegAccess::Read) != ERROR_SUCCESS)
        return values;
    auto read = [&](const char *name) {
        char buffer[kRegStringBuffer];
        DWORD size = sizeof buffer;
        DWORD type = REG_NONE;
        const LONG rc = key.QueryValue(name, &type, buffer, &size);
        if (rc == ERROR_SUCCESS && size <= sizeof buffer)
            values[name] = StoredValue{type, std::string(buffer, size)};
        else if (rc == ERROR_MORE_DATA)
            values[name] = StoredValue{type, std::string(kRegStringBuffer + 1, '?')};
    };
    for (const NumberRule &rule : kNumberRules)
        read(rule.name);
    for (const char *name : kTextNames)
        read(name);
    for (const char *name : kSwitchNames)
        read(name);
    return values;
}

bool PolicySwitch(const StoredSettings &policy, const char *name, DWORD &value) {
    const auto v = policy.find(name);
    DWORD read = 0;
    if (v == policy.end() || !AsDword(v->second, read) || read > 1)
        return false;
    value = read;
    return true;
}

bool PolicyAction(const StoredSettings &policy, DWORD &status, DWORD &restart) {
    DWORD s = 0, r = 0;
    const bool hasStatus = PolicySwitch(policy, "status", s);
    if (!PolicySwitch(policy, "restart", r) && !hasStatus)
        return false;
    status = s;
    restart = r;
    return true;
}
