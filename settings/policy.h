// Settings an organisation manages: values under HKLM\SOFTWARE\Policies\Vespra, set
// by Group Policy or a device manager, with the names, types and meanings of the
// settings values. Each value present wins over the same setting from the registry
// or the INI file; the password is never managed.
#pragma once

#include <string>

#include "settings/registry_store.h"
#include "settings/schedule_settings.h"

extern const char *const kPolicyKey;   // "SOFTWARE\\Policies\\Vespra"
// What the scheduler watches for changes: the key of every program's policies, which
// Windows keeps even while ours is missing.
extern const char *const kPoliciesKey; // "SOFTWARE\\Policies"

// The settings a policy can hold, one bit each.
enum PolicyItem : unsigned {
    kManagedAction = 1u << 0, // "status" and "restart"
    kManagedDays = 1u << 1,
    kManagedTimes = 1u << 2,
    kManagedWelcome = 1u << 3,
    kManagedWelcomeTime = 1u << 4,
    kManagedShowWarning = 1u << 5,
    kManagedWarningMinutes = 1u << 6,
    kManagedLimit = 1u << 7,
    kManagedLimitHours = 1u << 8,
    kManagedKillDosApps = 1u << 9,
    kManagedDisableCpl = 1u << 10,
    kManagedDisableRegPgms = 1u << 11,
};

// Every value a policy may hold: the settings' names, and the log's switch.
constexpr int kPolicyValueCount = 14;
extern const char *const kPolicyValueNames[kPolicyValueCount];

// A well-formed REG_DWORD's value.
bool PolicyDword(const StoredValue &v, DWORD &out);

// The policy values as read from the key, as the settings readers take them; empty
// when the key is missing.
StoredSettings ReadPolicyValues();

// A policy's switch ("logfile", say): true with its value when the policy holds a
// well-formed one, a REG_DWORD of 0 or 1. Nothing is logged, so the log's own switch
// can use it.
bool PolicySwitch(const StoredSettings &policy, const char *name, DWORD &value);
// The action, "status" and "restart": true when the policy sets it. The two make one
// setting, so the one a policy lacks counts as 0: "restart" = 1 alone is Restart.
bool PolicyAction(const StoredSettings &policy, DWORD &status, DWORD &restart);

// Sets the settings the policy values hold and returns them as PolicyItem bits. A
// malformed value (wrong type or length, a number out of the settings dialog's
// range, a list not of seven days) is ignored, with one log line per value and
// content for the life of the process.
unsigned ApplyPolicy(const StoredSettings &policy, ScheduleSettings &settings);

// Copies the settings of the given items from one record to another.
void CopyPolicyItems(unsigned items, const ScheduleSettings &from, ScheduleSettings &to);

// While it lives, the managed items of a record hold their stored values: what a
// store writes then is its own, never the policy's.
class StoredValuesInPlace {
public:
    StoredValuesInPlace(ScheduleSettings &settings, unsigned managed, const ScheduleSettings &stored)
        : m_settings(settings), m_managed(managed), m_effective(settings) {
        CopyPolicyItems(managed, stored, settings);
    }
    ~StoredValuesInPlace() { CopyPolicyItems(m_managed, m_effective, m_settings); }
    StoredValuesInPlace(const StoredValuesInPlace &) = delete;
    StoredValuesInPlace &operator=(const StoredValuesInPlace &) = delete;

private:
    ScheduleSettings &m_settings;
    unsigned m_managed;
    ScheduleSettings m_effective;
};

// Tests only: forgets which malformed values were logged.
void ForgetPolicyLog();
