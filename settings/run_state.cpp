#include "settings/run_state.h"

#include <cstring>

#include "settings/local_filetime.h"
#include "system/registry.h"

namespace {
const char kCurrShutdownTime[] = "curr_shutdowntime";
const char kLastLo[] = "lastshutdowntime_lo";
const char kLastHi[] = "lastshutdowntime_hi";
const DWORD kTextBufferSize = 500;

// One REG_DWORD from an open key. Anything else - missing, another type, another
// size - is not a number we wrote, so it counts as missing.
bool QueryDword(const RegKey &key, const char *name, DWORD &value) {
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (key.QueryValue(name, &type, &data, &size) != ERROR_SUCCESS || type != REG_DWORD ||
        size != sizeof data)
        return false;
    value = data;
    return true;
}

// What a scheduler that never shut down reads: far enough back that "last + 60 s
// is not earlier than now" never holds.
CTime LongPast() {
    return CTime(time_t(0));
}
} // namespace

void WriteStatusValue(const char *name, DWORD value) {
    RegKey key;
    if (key.Create(kSettingsKey, RegAccess::Write) != ERROR_SUCCESS)
        return;
    key.SetDword(name, value);
}

DWORD ReadStatusValue(const char *name) {
    RegKey key;
    if (key.Open(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS)
        return 0;
    DWORD value = 0;
    return QueryDword(key, name, value) ? value : 0;
}

void WriteCurrShutdownTime(const std::string &text) {
    RegKey key;
    if (key.Create(kSettingsKey, RegAccess::Write) != ERROR_SUCCESS)
        return;
    key.SetString(kCurrShutdownTime, text);
}

void ReadCurrShutdownTime(std::string &text) {
    RegKey key;
    if (key.Open(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS)
        return;
    char buffer[kTextBufferSize];
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer;
    // A value that does not fit the buffer (ERROR_MORE_DATA) is unreadable and gives
    // the empty text, like a missing one; so does a value that is not a string.
    if (key.QueryValue(kCurrShutdownTime, &type, buffer, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > sizeof buffer) {
        text.clear();
        return;
    }
    // The stored string need not end in a NUL: never read past what came back.
    const void *nul = memchr(buffer, '\0', size);
    text.assign(buffer, nul ? size_t(static_cast<const char *>(nul) - buffer) : size_t(size));
}

void WriteLastShutdownTime() {
    RegKey key;
    if (key.Create(kSettingsKey, RegAccess::Write) != ERROR_SUCCESS)
        return;
    const uint64_t fileTime = FileTimeFromFields(CTime::GetCurrentTime().GetLocalTm());
    // Two separate writes, low half first.
    key.SetDword(kLastLo, DWORD(fileTime & 0xFFFFFFFFu));
    key.SetDword(kLastHi, DWORD(fileTime >> 32));
}

void ReadLastShutdownTime(CTime &time) {
    RegKey key;
    if (key.Open(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS) {
        time = LongPast();
        return;
    }
    DWORD lo = 0, hi = 0;
    const bool haveLo = QueryDword(key, kLastLo, lo);
    const bool haveHi = QueryDword(key, kLastHi, hi);
    key.Close();
    struct tm fields;
    if ((!haveLo && !haveHi) || !FieldsFromFileTime(uint64_t(hi) << 32 | lo, fields)) {
        time = LongPast();
        return;
    }
    CTime local(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                fields.tm_min, fields.tm_sec);
    // Dates the C library can't represent (mktime gives -1, or a time before 1970 on
    // some runtimes) are as good as never.
    time = local.GetTime() < 0 ? LongPast() : local;
}
