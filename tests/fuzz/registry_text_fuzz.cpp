// Fuzz target: the registry store's text readers, the journal of an unfinished
// write, and ReadRegistry over the in-memory registry with arbitrary, over-long and
// mistyped values and journals. Checks that the reader stays in bounds, leaves every
// time in range, that what WriteRegistry stores for the record it read reads back as
// the same record, and that a write cut short after any value, or failing at any
// value, reads back as the old record or the new one, never a mix.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scheduler/scheduler.h"
#include "settings/policy.h"
#include "settings/registry_store.h"
#include "settings/settings_text.h"
#include "system/registry.h"
#include "system/time_zone.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_ui.h"
#include "tests/support/settings_record.h"

namespace {

void PutBytes(const char *name, DWORD type, const std::string &bytes) {
    fake::PutRaw(kSettingsKey, name, type, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

const char *const kNumbers[] = {"status",      "restart",        "amwarn",     "killdosapps",
                                "welcome",     "welcometime",    "limit",      "limithours",
                                "showwarning", "warningminutes", "disablecpl", "disableregpgms"};

// Leaves the stand-ins empty after each input: what an input leaves allocated makes
// libFuzzer run a leak scan after it, which slows the run down many times over.
struct ResetStandIns {
    ResetStandIns() { Reset(); }
    ~ResetStandIns() { Reset(); }
    static void Reset() {
        fake::ResetAll();
        ForgetPolicyLog();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ResetStandIns standIns;
    FuzzedDataProvider in(data, size);

    // The pure parsers, on a NUL-terminated copy of arbitrary bytes.
    {
        const std::string text = in.ConsumeRandomLengthString(300);
        int h[kDays] = {}, m[kDays] = {};
        BOOL days[kDays] = {};
        Check(ParseRegistryTimes(text.c_str(), h, m) <= kDays);
        Check(ParseRegistryDays(text.c_str(), days) <= kDays);
        Check(ParseIniTimes(text.c_str(), h, m) <= kDays);
        Check(ParseIniDays(text.c_str(), days) <= kDays);
        uint32_t v[4];
        Check(ScanNumbers(text.c_str(), "%u %d,%u:%d", v, 4) <= 4);
    }

    // A zone's "TZI", as the registry may hold it: what is taken converts in range.
    {
        ZoneRules rules;
        if (ParseZoneInfo(in.ConsumeBytesAsString(44), rules.rule)) {
            const time_t at = time_t(in.ConsumeIntegralInRange<int64_t>(0, 4102444800)); // to 2100
            struct tm local = rules.ToLocal(at);
            Check(local.tm_hour >= 0 && local.tm_hour < 24 && local.tm_mon >= 0 && local.tm_mon < 12 &&
                  local.tm_mday >= 1 && local.tm_mday <= 31);
            struct tm back = local;
            const time_t again = rules.FromLocal(back);
            Check(again - at <= 48 * 3600 && at - again <= 48 * 3600);
        }
    }

    // The journal codec: whatever it accepts, it writes back as the same values.
    {
        StoredSettings values;
        if (DecodeSettingsJournal(in.ConsumeRandomLengthString(400), values)) {
            StoredSettings again;
            Check(DecodeSettingsJournal(EncodeSettingsJournal(values), again));
            Check(again == values);
        } else {
            Check(values.empty());
        }
    }

    // A policy as arbitrary: what it manages is in the settings dialog's range, and
    // one action at most.
    {
        StoredSettings policy;
        for (const char *name : {"status", "restart", "days", "times", "welcometime",
                                 "warningminutes", "limithours", "limit"})
            if (in.ConsumeBool())
                policy[name] = StoredValue{DWORD(in.ConsumeBool() ? REG_DWORD : REG_SZ),
                                           in.ConsumeRandomLengthString(40)};
        ScheduleSettings s;
        const unsigned managed = ApplyPolicy(policy, s);
        for (int d = 0; d < kDays; ++d)
            Check(!IsTimeOutOfRange(s.m_nHour[d], s.m_nMinute[d]) && UINT(s.m_bDay[d]) <= 1);
        Check(s.m_nWelcomeTime >= 1 && s.m_nWelcomeTime <= 60 && s.m_nWarningMinutes >= 1 &&
              s.m_nWarningMinutes <= 60 && s.m_nLimitHours >= 1 && s.m_nLimitHours <= 12);
        Check(!(managed & kManagedAction) || !(s.m_bShutdown && s.m_bRestart));
    }

    fake::Plat().platformId = in.ConsumeBool() ? 2 : 1;

    // A key as a hand edit, an older program or a damaged hive might leave it.
    PutBytes("version", in.ConsumeBool() ? REG_SZ : in.ConsumeIntegral<uint8_t>(),
             in.ConsumeBool() ? std::string("4.0", 4) : in.ConsumeRandomLengthString(8));
    for (const char *name : {"times", "days", "lock", "lock_hash", "timezone"})
        if (in.ConsumeBool())
            PutBytes(name, in.ConsumeBool() ? REG_SZ : REG_BINARY,
                     in.ConsumeRandomLengthString(260));
    for (const char *name : kNumbers)
        if (in.ConsumeBool())
            PutBytes(name, in.ConsumeBool() ? REG_DWORD : REG_SZ, in.ConsumeRandomLengthString(8));
    // The journal of a write that did not finish: arbitrary bytes, or a well-formed
    // one of values as arbitrary as those above.
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 1:
        PutBytes(kSettingsJournalValue, REG_BINARY, in.ConsumeRandomLengthString(600));
        break;
    case 2: {
        StoredSettings values;
        for (const char *name : kSettingsValueNames)
            if (in.ConsumeBool())
                values[name] = StoredValue{DWORD(in.ConsumeBool() ? REG_DWORD : REG_SZ),
                                           in.ConsumeBool() ? std::string("4.0", 4)
                                                            : in.ConsumeRandomLengthString(110)};
        PutBytes(kSettingsJournalValue, REG_BINARY, EncodeSettingsJournal(values));
        break;
    }
    default:
        break;
    }

    CVespraDlg first(nullptr, FALSE, FALSE, FALSE);
    if (!first.ReadRegistry())
        return 0;
    for (int d = 0; d < kDays; ++d)
        Check(!IsTimeOutOfRange(first.m_nHour[d], first.m_nMinute[d]));
    // Whatever was read, a password is written back only as a record we can check.
    Check(first.m_sPassword.Record().empty() || IsValidPasswordRecord(first.m_sPassword.Record()));

    Check(first.WriteRegistry());
    CVespraDlg second(nullptr, FALSE, FALSE, FALSE);
    const size_t boxes = fake::State().boxes.size();
    Check(second.ReadRegistry());
    Check(fake::State().boxes.size() == boxes); // what we wrote is in range
    Check(DescribeSettings(first) == DescribeSettings(second));
    Check(!fake::HasValue(kSettingsKey, kSettingsJournalValue));

    // A new record, in range, written whole into a copy of the registry, then cut
    // short after some value or failing at one: the key reads as one of the two.
    CVespraDlg third(nullptr, FALSE, FALSE, FALSE);
    static_cast<ScheduleSettings &>(third) = first;
    for (int d = 0; d < kDays; ++d) {
        third.m_nHour[d] = in.ConsumeIntegralInRange(0, 23);
        third.m_nMinute[d] = in.ConsumeIntegralInRange(0, 59);
        third.m_bDay[d] = in.ConsumeBool();
    }
    third.m_bShutdown = in.ConsumeBool();
    third.m_bRestart = in.ConsumeBool();
    third.m_nWarningMinutes = in.ConsumeIntegral<uint8_t>();
    third.m_sPassword = in.ConsumeRandomLengthString(20);
    const fake::Registry before = fake::Reg();
    Check(third.WriteRegistry());
    CVespraDlg newer(nullptr, FALSE, FALSE, FALSE);
    Check(newer.ReadRegistry());
    fake::Reg() = before;

    const int changes = in.ConsumeIntegralInRange(-1, 20);
    if (in.ConsumeBool())
        fake::Reg().failSet.insert(
            kSettingsValueNames[in.ConsumeIntegralInRange(0, kSettingsValueCount - 1)]);
    fake::Reg().changesBeforeCrash = changes;
    third.WriteRegistry();
    fake::Reg().changesBeforeCrash = -1;
    fake::Reg().failSet.clear();
    CVespraDlg after(nullptr, FALSE, FALSE, FALSE);
    Check(after.ReadRegistry());
    const std::string loaded = DescribeSettings(after);
    Check(loaded == DescribeSettings(first) || loaded == DescribeSettings(newer));
    // The service host sees Off only when the old or the new action is Off.
    const bool offNow =
        !fake::GetDword(kSettingsKey, "status") && !fake::GetDword(kSettingsKey, "restart");
    Check(!offNow || !(first.m_bShutdown || first.m_bRestart) ||
          !(third.m_bShutdown || third.m_bRestart));
    return 0;
}
