#include "settings/run_state.h"

#include <cstring>

#include "framework/clock.h"
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

RunMark CurrentRun() {
    RunMark mark;
    const uint64_t upMs = MonotonicMs();
    mark.uptime = DWORD(upMs / 1000);
    mark.bootTime = DWORD(uint64_t(ClockNow()) - upMs / 1000);
    uint64_t awakeMs = 0;
    mark.sleptKnown = AwakeMs(awakeMs);
    if (mark.sleptKnown)
        mark.slept = DWORD(awakeMs < upMs ? (upMs - awakeMs) / 1000 : 0);
    return mark;
}

bool SameRun(const RunMark &then, const RunMark &now) {
    // The boot time moves with the clock; a few minutes cover its drift and a small
    // correction. A larger change makes a new run: enforcement starting again is
    // the safe side.
    const long kBootSlackSeconds = 300;
    const long bootMoved = long(int64_t(now.bootTime) - int64_t(then.bootTime));
    if (bootMoved > kBootSlackSeconds || bootMoved < -kBootSlackSeconds || now.uptime < then.uptime)
        return false;
    // A sleep shorter than a minute is no run's end; a hibernation is far longer.
    const DWORD kResumeSeconds = 60;
    return !(then.sleptKnown && now.sleptKnown && now.slept >= then.slept + kResumeSeconds);
}

namespace {
// 0 in "canceled_slept_known" when the awake counter was missing.
const char kCanceledBoot[] = "canceled_boot";
const char kCanceledUptime[] = "canceled_uptime";
const char kCanceledSlept[] = "canceled_slept";
const char kCanceledSleptKnown[] = "canceled_slept_known";
} // namespace

void WriteCancel() {
    const RunMark mark = CurrentRun();
    WriteStatusValue(kCanceledBoot, mark.bootTime);
    WriteStatusValue(kCanceledUptime, mark.uptime);
    WriteStatusValue(kCanceledSlept, mark.slept);
    WriteStatusValue(kCanceledSleptKnown, mark.sleptKnown ? 1 : 0);
    WriteStatusValue("already_canceled", 1);
}

bool CancelHoldsNow() {
    RunMark then;
    then.bootTime = ReadStatusValue(kCanceledBoot);
    if (then.bootTime == 0) {
        WriteStatusValue("already_canceled", 0);
        return true;
    }
    then.uptime = ReadStatusValue(kCanceledUptime);
    then.slept = ReadStatusValue(kCanceledSlept);
    then.sleptKnown = ReadStatusValue(kCanceledSleptKnown) != 0;
    return SameRun(then, CurrentRun());
}
