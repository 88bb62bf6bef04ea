// Settings an organisation manages: which policy values are taken, over what, and
// what the malformed ones leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "settings/policy.h"
#include "system/log.h"
#include "system/registry.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"

namespace {

StoredValue Dword(DWORD v) {
    std::string bytes(4, '\0');
    memcpy(&bytes[0], &v, 4);
    return {REG_DWORD, bytes};
}
StoredValue Text(const std::string &s) {
    return {REG_SZ, s + '\0'};
}

TEST(Policy, TakesWellFormedValuesAndLeavesTheRest) {
    const struct {
        const char *name;
        StoredValue value;
        unsigned managed; // 0: ignored as malformed
    } cases[] = {
        {"status", Dword(0), kManagedAction},
        {"restart", Dword(1), kManagedAction},
        {"welcometime", Dword(60), kManagedWelcomeTime},
        {"welcometime", Dword(61), 0},
        {"warningminutes", Dword(0), 0},
        {"limithours", Dword(12), kManagedLimitHours},
        {"limit", Dword(2), 0},
        {"killdosapps", {REG_SZ, std::string("1\0", 2)}, 0},
        {"disablecpl", {REG_DWORD, std::string(2, '\0')}, 0},
        {"days", Text("0 1 1 1 1 1 0"), kManagedDays},
        {"days", Text("0 0 0"), 0},
        {"days", Text("1 1 1 1 1 1 2"), 0},
        {"times", Text("6:30 7:00 7:00 7:00 7:00 7:00 23:59"), kManagedTimes},
        {"times", Text("6:30 7:00 7:00 7:00 7:00 7:00 24:00"), 0},
        {"times", Dword(1), 0},
    };
    for (const auto &c : cases) {
        ScheduleSettings s, before;
        EXPECT_EQ(ApplyPolicy({{c.name, c.value}}, s), c.managed) << c.name;
        if (!c.managed) { // nothing of it taken, not even a part
            EXPECT_TRUE(std::equal(s.m_nHour, s.m_nHour + kDays, before.m_nHour)) << c.name;
            EXPECT_TRUE(std::equal(s.m_bDay, s.m_bDay + kDays, before.m_bDay)) << c.name;
            EXPECT_EQ(s.m_nWelcomeTime, before.m_nWelcomeTime);
            EXPECT_EQ(s.m_bLimit, before.m_bLimit);
        }
    }
    ScheduleSettings s;
    ApplyPolicy({{"times", Text("6:30 7:00 7:00 7:00 7:00 7:00 23:59")},
                 {"days", Text("0 1 1 1 1 1 0")}},
                s);
    EXPECT_EQ(s.m_nHour[0] * 100 + s.m_nMinute[0], 630);
    EXPECT_EQ(s.m_nHour[6] * 100 + s.m_nMinute[6], 2359);
    EXPECT_FALSE(s.m_bDay[0]);
    EXPECT_TRUE(s.m_bDay[1]);
}

TEST(Policy, TheActionIsOneSetting) {
    const struct {
        std::vector<std::pair<const char *, DWORD>> values;
        BOOL shutdown, restart;
    } cases[] = {
        {{{"status", 1}, {"restart", 0}}, 1, 0},
        {{{"restart", 1}}, 0, 1}, // the stored Shut down gives way
        {{{"status", 0}}, 0, 0},  // Off
        {{{"status", 1}}, 1, 0},
    };
    for (const auto &c : cases) {
        StoredSettings policy;
        for (const auto &[name, v] : c.values)
            policy[name] = Dword(v);
        ScheduleSettings s; // stored: Shut down
        s.m_bRestart = TRUE;
        EXPECT_EQ(ApplyPolicy(policy, s), unsigned(kManagedAction));
        EXPECT_EQ(s.m_bShutdown, c.shutdown);
        EXPECT_EQ(s.m_bRestart, c.restart);
    }
}

TEST(Policy, AMalformedValueIsLoggedOnceForEachContent) {
    fake::ResetAll();
    const std::string path = fake::UseTempLogFile();
    fake::PutDword(kSettingsKey, "logfile", 1);
    ForgetLogSwitches();
    ForgetPolicyLog();
    ScheduleSettings s;
    for (int i = 0; i < 3; ++i)
        ApplyPolicy({{"limithours", Dword(99)}}, s);
    ApplyPolicy({{"limithours", Dword(98)}}, s);
    const std::string log = fake::ReadFile(path);
    size_t count = 0;
    for (size_t at = log.find("Malformed policy value \"limithours\" ignored"); at != std::string::npos;
         at = log.find("Malformed policy", at + 1))
        ++count;
    EXPECT_EQ(count, 2u);
}

TEST(Policy, ReadsTheKeyAndLeavesWhatItLacks) {
    fake::ResetAll();
    EXPECT_TRUE(ReadPolicyValues().empty());
    fake::PutDword(kPolicyKey, "logfile", 1);
    fake::PutString(kPolicyKey, "times", std::string(150, '1'));
    const StoredSettings read = ReadPolicyValues();
    EXPECT_EQ(read.size(), 2u);
    DWORD on = 0;
    EXPECT_TRUE(PolicySwitch(read, "logfile", on));
    EXPECT_EQ(on, 1u);
    // Longer than any setting: read as malformed, never cut to a valid one.
    ScheduleSettings s;
    EXPECT_EQ(ApplyPolicy(read, s), 0u);
}

TEST(Policy, AWatchSeesChangesUnderItsKeyOnly) {
    fake::ResetAll();
    // A key that is not there can't be watched: every call says changed.
    RegChangeWatch missing(kPoliciesKey);
    EXPECT_TRUE(missing.Changed());
    EXPECT_TRUE(missing.Changed());

    fake::PutDword("SOFTWARE\\Policies\\Other", "x", 1);
    RegChangeWatch watch(kPoliciesKey);
    EXPECT_FALSE(watch.Changed());
    fake::PutDword(kSettingsKey, "status", 1);
    EXPECT_FALSE(watch.Changed());
    fake::PutDword(kPolicyKey, "status", 1);
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());
    RegKey key;
    ASSERT_EQ(key.Open(kPolicyKey, RegAccess::Write), ERROR_SUCCESS);
    key.DeleteValue("status");
    key.Close();
    EXPECT_TRUE(watch.Changed());
    EXPECT_TRUE(missing.Changed());
    EXPECT_FALSE(missing.Changed()) << "armed once the key is there";
}

} // namespace
