// What the two halves of the policy code share: policy.cpp reads the values (the
// service host takes only that), policy_apply.cpp applies them to the settings.
#pragma once

#include <cstring>

#include "settings/policy.h"

// The numbers and switches a policy may set, with the range the settings dialog
// accepts; a switch is 0 or 1.
struct NumberRule {
    const char *name;
    unsigned item;
    BOOL ScheduleSettings::*flag;
    UINT ScheduleSettings::*count;
    UINT low, high;
};
// Every rule, in policy.cpp; a rule added there changes the count here.
constexpr int kNumberRuleCount = 11;
extern const NumberRule kNumberRules[kNumberRuleCount];

inline bool AsDword(const StoredValue &v, DWORD &out) {
    if (v.type != REG_DWORD || v.bytes.size() != sizeof(DWORD))
        return false;
    memcpy(&out, v.bytes.data(), sizeof out);
    return true;
}
