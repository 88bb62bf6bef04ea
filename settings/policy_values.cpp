// The policy values as the service host and the log's switch read them, apart from
// the rest of the policy so that those lean readers link nothing more.
#include <cstring>

#include "settings/policy.h"
#include "system/registry.h"

const char *const kPolicyKey = "SOFTWARE\\Policies\\Vespra";
const char *const kPoliciesKey = "SOFTWARE\\Policies";
const char *const kPolicyValueNames[kPolicyValueCount] = {
    "status",         "restart", "welcome",    "welcometime", "showwarning",
    "warningminutes", "limit",   "limithours", "killdosapps", "disablecpl",
    "disableregpgms", "days",    "times",      "logfile"};

bool PolicyDword(const StoredValue &v, DWORD &out) {
    if (v.type != REG_DWORD || v.bytes.size() != sizeof(DWORD))
        return false;
    memcpy(&out, v.bytes.data(), sizeof out);
    return true;
}

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
    for (const char *name : kPolicyValueNames)
        read(name);
    return values;
}

bool PolicySwitch(const StoredSettings &policy, const char *name, DWORD &value) {
    const auto v = policy.find(name);
    DWORD read = 0;
    if (v == policy.end() || !PolicyDword(v->second, read) || read > 1)
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
