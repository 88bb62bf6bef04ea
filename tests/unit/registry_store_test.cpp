// The registry settings store against the in-memory registry: the exact stored
// forms, the start entries, the messages, and round trips of the whole record.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "settings/password.h"
#include "settings/registry_store.h"
#include "system/registry.h"
#include "tests/support/settings_record.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

const char kProgram[] = "c:\\program files\\vespra\\vespra.exe";

class RegistryStoreTest : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        fake::Files().programPath = kProgram;
    }
    void TearDown() override { fake::ResetPlatform(); }

    static std::string Str(const char *name) { return fake::GetString(kSettingsKey, name); }
    static DWORD Dword(const char *name) { return fake::GetDword(kSettingsKey, name); }
    static DWORD Type(const char *name) { return fake::GetType(kSettingsKey, name); }
    static std::vector<unsigned char> Raw(const char *path, const char *name) {
        return fake::Reg().keys[ToLower(path)].values[ToLower(name)].data;
    }
    static bool KeyExists(const char *path) { return fake::Reg().keys.count(ToLower(path)) > 0; }

    // The message boxes shown so far, as string ids where the text is one.
    static std::vector<std::string> Texts() {
        std::vector<std::string> t;
        for (const auto &b : fake::State().boxes)
            t.push_back(b.text);
        return t;
    }

    // A valid set of this version, as WriteRegistry leaves it for the defaults.
    static void PutValidSet() {
        fake::PutString(kSettingsKey, "version", "4.0");
        fake::PutDword(kSettingsKey, "status", 1);
        fake::PutDword(kSettingsKey, "restart", 0);
        fake::PutString(kSettingsKey, "days", "1 1 1 1 1 0 0");
        fake::PutString(kSettingsKey, "times", "23:00 23:00 23:00 23:00 23:00 23:00 23:00");
        fake::PutString(kSettingsKey, "lock", "");
    }

    CVespraDlg dlg{nullptr, FALSE, FALSE, FALSE};
};

TEST_F(RegistryStoreTest, DefaultsAreWrittenInOrderWithTheirTypes) {
    fake::PutDword(kSettingsKey, "logfile", 1);
    const std::string log = fake::UseTempLogFile();
    fake::Reg().keys[ToLower(kSettingsKey)].writeOrder.clear();

    ASSERT_TRUE(dlg.WriteRegistry());

    // The journal of the previous settings first; it is gone once the values are.
    const std::vector<std::string> order = {
        "prev_settings", "version",     "status",         "restart",        "days",  "times",
        "welcome",       "welcometime", "showwarning",    "warningminutes", "limit", "limithours",
        "lock",          "disablecpl",  "disableregpgms", "timezone",       "killdosapps", "amwarn"};
    EXPECT_EQ(fake::Reg().keys[ToLower(kSettingsKey)].writeOrder, order);
    EXPECT_FALSE(fake::HasValue(kSettingsKey, kSettingsJournalValue));

    EXPECT_EQ(Type("version"), DWORD(REG_SZ));
    EXPECT_EQ(Raw(kSettingsKey, "version"), (std::vector<unsigned char>{'4', '.', '0', 0}));
    EXPECT_EQ(Str("days"), "1 1 1 1 1 0 0");
    EXPECT_EQ(Type("days"), DWORD(REG_SZ));
    EXPECT_EQ(Str("times"), "23:00 23:00 23:00 23:00 23:00 23:00 23:00");
    EXPECT_EQ(Type("times"), DWORD(REG_SZ));
    // No password: an empty string, its NUL counted.
    EXPECT_EQ(Type("lock"), DWORD(REG_SZ));
    EXPECT_EQ(Raw(kSettingsKey, "lock"), std::vector<unsigned char>{0});
    // The defaults' times are the machine's zone's.
    EXPECT_EQ(Str("timezone"), "Eastern Standard Time");

    const std::pair<const char *, DWORD> numbers[] = {
        {"status", 1},      {"restart", 0},        {"welcome", 1},     {"welcometime", 10},
        {"showwarning", 1}, {"warningminutes", 5}, {"limit", 0},       {"limithours", 9},
        {"disablecpl", 0},  {"disableregpgms", 0}, {"killdosapps", 0}, {"amwarn", 1}};
    for (const auto &n : numbers) {
        EXPECT_EQ(Type(n.first), DWORD(REG_DWORD)) << n.first;
        EXPECT_EQ(Raw(kSettingsKey, n.first).size(), 4u) << n.first;
        EXPECT_EQ(Dword(n.first), n.second) << n.first;
    }

    EXPECT_EQ(fake::GetString(kRunKey, "Vespra"),
              "\"c:\\program files\\vespra\\vespra.exe\" /logon");
    EXPECT_FALSE(KeyExists(kRunServicesKey)) << "never touched on the NT family";
    EXPECT_TRUE(fake::State().boxes.empty());
    ASSERT_EQ(fake::LogLines().size(), 1u);
    EXPECT_NE(fake::LogLines()[0].find(": Settings written to registry"), std::string::npos);
}

TEST_F(RegistryStoreTest, HoursWithoutLeadingZeroMinutesWithTwoDigits) {
    const int hours[kDays] = {7, 0, 23, 10, 9, 12, 1};
    const int minutes[kDays] = {0, 0, 5, 59, 9, 30, 1};
    std::copy(hours, hours + kDays, dlg.m_nHour);
    std::copy(minutes, minutes + kDays, dlg.m_nMinute);
    const BOOL days[kDays] = {0, 0, 1, 0, 1, 1, 0};
    std::copy(days, days + kDays, dlg.m_bDay);
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_EQ(Str("times"), "7:00 0:00 23:05 10:59 9:09 12:30 1:01");
    EXPECT_EQ(Str("days"), "0 0 1 0 1 1 0");
}

TEST_F(RegistryStoreTest, WholeRecordRoundTrips) {
    FillNonDefault(dlg);
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_EQ(Str("times"), "0:00 7:05 12:30 19:59 23:01 5:45 22:10");
    EXPECT_EQ(Str("days"), "0 1 0 1 0 1 1");
    // The password only as its hash record.
    EXPECT_EQ(Str("lock"), "");
    EXPECT_EQ(Type("lock_hash"), DWORD(REG_BINARY));
    EXPECT_EQ(Raw(kSettingsKey, "lock_hash").size(), kPasswordRecordSize);

    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(other.ReadRegistry());
    EXPECT_EQ(DescribeSettings(other), DescribeSettings(dlg));
    EXPECT_TRUE(fake::State().boxes.empty());
}

TEST_F(RegistryStoreTest, PasswordsRoundTripUpToTheFirstNulOfTheirForm) {
    // Even bytes the password dialogs refuse, where there is no crypto. "lock" is a C
    // string: a form holding a NUL reads back as far as that NUL, which is that far
    // into the password.
    fake::Plat().passwordCryptoMissing = true;
    for (const std::string &password :
         {std::string(), std::string("abc"), std::string(1, char(0xFD)),
          std::string("ab\x07\xFF\xF5", 5), std::string(kMaxStoredPassword, 'z'),
          std::string(99, char(0xF6))}) {
        dlg.m_sPassword = password;
        ASSERT_TRUE(dlg.WriteRegistry());
        CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
        other.m_sPassword = "previous";
        ASSERT_TRUE(other.ReadRegistry());
        const size_t nul = ScramblePassword(password).find('\0');
        EXPECT_TRUE(other.m_sPassword.Accepts(password.substr(0, nul))) << password.size();
    }
    fake::PutString(kSettingsKey, "lock", ScramblePassword("abc") + std::string("\0junk", 5));
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_TRUE(dlg.m_sPassword.Accepts("abc"));
}

TEST_F(RegistryStoreTest, ShortMinuteReadsAndIsWrittenBackWithTwoDigits) {
    PutValidSet();
    fake::PutString(kSettingsKey, "times", "23:5 6:7 23:00 23:00 23:00 23:00 0:0");
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_EQ(dlg.m_nHour[0], 23);
    EXPECT_EQ(dlg.m_nMinute[0], 5);
    EXPECT_EQ(dlg.m_nHour[1], 6);
    EXPECT_EQ(dlg.m_nMinute[1], 7);
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_EQ(Str("times"), "23:05 6:07 23:00 23:00 23:00 23:00 0:00");
}

TEST_F(RegistryStoreTest, OutOfRangeDaysAreResetWithOneMessageEach) {
    PutValidSet();
    fake::PutString(kSettingsKey, "times", "22:00 21:00 24:00 20:00 19:00 18:00 17:00");
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_EQ(dlg.m_nHour[2], 23);
    EXPECT_EQ(dlg.m_nMinute[2], 0);
    EXPECT_EQ(dlg.m_nHour[1], 21);
    EXPECT_EQ(dlg.m_nHour[3], 20);
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, LoadStr(IDS_TIME_OUT_OF_RANGE));
    EXPECT_EQ(fake::State().boxes[0].caption, "Vespra");
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION));

    // Two bad days: two messages, and every later day still read.
    fake::Reset();
    fake::PutString(kSettingsKey, "times", "22:60 21:00 20:00 -1:00 19:00 4294967295:00 17:30");
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_EQ(Texts(), std::vector<std::string>(3, LoadStr(IDS_TIME_OUT_OF_RANGE)));
    const int hours[kDays] = {23, 21, 20, 23, 19, 23, 17};
    const int minutes[kDays] = {0, 0, 0, 0, 0, 0, 30};
    for (int d = 0; d < kDays; ++d) {
        EXPECT_EQ(dlg.m_nHour[d], hours[d]) << d;
        EXPECT_EQ(dlg.m_nMinute[d], minutes[d]) << d;
    }
}

TEST_F(RegistryStoreTest, MalformedAndShortListsKeepTheCurrentValues) {
    PutValidSet();
    dlg.m_nHour[4] = 6;
    dlg.m_nMinute[4] = 15;
    // Parsing stops at the first thing that does not fit: Wednesday has no minute.
    fake::PutString(kSettingsKey, "times", "1:01 2:02 3:03 4:x 5:05");
    fake::PutString(kSettingsKey, "days", "0 0 1");
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_EQ(dlg.m_nHour[0], 1);
    EXPECT_EQ(dlg.m_nMinute[2], 3);
    EXPECT_EQ(dlg.m_nHour[3], 23); // unparsed pair: as before
    EXPECT_EQ(dlg.m_nMinute[3], 0);
    EXPECT_EQ(dlg.m_nHour[4], 6); // after the failure: as before
    EXPECT_EQ(dlg.m_nMinute[4], 15);
    const BOOL days[kDays] = {0, 0, 1, 1, 1, 0, 0};
    for (int d = 0; d < kDays; ++d)
        EXPECT_EQ(dlg.m_bDay[d], days[d]) << d;
    EXPECT_TRUE(fake::State().boxes.empty());
}

TEST_F(RegistryStoreTest, OverlongStringValuesCountAsMissing) {
    PutValidSet();
    dlg.m_nHour[0] = 5;
    dlg.m_sPassword = "before";
    const std::string padding(200, ' ');
    // Sensible content, too long for the 100-byte buffer: nothing of it is taken.
    fake::PutString(kSettingsKey, "times", "1:00 1:00 1:00 1:00 1:00 1:00 1:00" + padding);
    fake::PutString(kSettingsKey, "days", "0 0 0 0 0 0 0" + padding);
    fake::PutString(kSettingsKey, "lock", std::string(150, 'q'));
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_EQ(dlg.m_nHour[0], 5);
    EXPECT_EQ(dlg.m_bDay[0], 1);
    EXPECT_FALSE(dlg.m_sPassword.IsSet()); // like a missing "lock"

    // 99 characters and the NUL fill the buffer exactly and are read.
    const std::string lock = ScramblePassword(std::string(99, 'p'));
    fake::PutString(kSettingsKey, "lock", lock);
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_TRUE(dlg.m_sPassword.Accepts(std::string(99, 'p')));

    // 100 bytes without a terminating NUL leave no room for one: too long as well.
    fake::PutRaw(kSettingsKey, "lock", REG_SZ, std::vector<unsigned char>(100, 'q'));
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_FALSE(dlg.m_sPassword.IsSet());

    // An over-long version is not "4.0".
    fake::PutString(kSettingsKey, "version", "4.0" + padding);
    dlg.m_sPassword = "kept";
    EXPECT_FALSE(dlg.ReadRegistry());
    EXPECT_TRUE(dlg.m_sPassword.Accepts("kept"));
}

TEST_F(RegistryStoreTest, MissingNumbersKeepTheirFields) {
    PutValidSet();
    fake::PutDword(kSettingsKey, "welcometime", 42);
    // Of another type but four bytes long: taken, the type is not looked at.
    fake::PutRaw(kSettingsKey, "limithours", REG_BINARY, {3, 0, 0, 0});
    // Not four bytes: left alone.
    fake::PutRaw(kSettingsKey, "warningminutes", REG_BINARY, {7, 0});
    fake::PutRaw(kSettingsKey, "limit", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0});
    dlg.m_bKillDosApps = 7;
    dlg.m_nWarningMinutes = 9;
    ASSERT_TRUE(dlg.ReadRegistry());
    EXPECT_EQ(dlg.m_nWelcomeTime, 42u);
    EXPECT_EQ(dlg.m_nLimitHours, 3u);
    EXPECT_EQ(dlg.m_nWarningMinutes, 9u);
    EXPECT_EQ(dlg.m_bLimit, 0);
    EXPECT_EQ(dlg.m_bKillDosApps, 7);
    EXPECT_EQ(dlg.m_bAmWarn, 1);
}

TEST_F(RegistryStoreTest, OtherVersionsAreIgnoredAsAWhole) {
    for (const char *version : {"3.0", "", "4.0 ", "4"}) {
        PutValidSet();
        fake::PutString(kSettingsKey, "version", version);
        fake::PutDword(kSettingsKey, "status", 0);
        fake::PutString(kSettingsKey, "lock", ScramblePassword("abc"));
        dlg.SetDefaults();
        EXPECT_FALSE(dlg.ReadRegistry()) << version;
        EXPECT_EQ(dlg.m_bShutdown, 1);
        EXPECT_FALSE(dlg.m_sPassword.IsSet());
    }
    // A version stored under another type.
    fake::PutDword(kSettingsKey, "version", 4);
    EXPECT_FALSE(dlg.ReadRegistry());
    EXPECT_TRUE(fake::State().boxes.empty());
}

TEST_F(RegistryStoreTest, NoKeyIsCreatedEmptyWithoutAMessage) {
    EXPECT_FALSE(dlg.ReadRegistry());
    EXPECT_TRUE(KeyExists(kSettingsKey));
    EXPECT_TRUE(fake::Reg().keys[ToLower(kSettingsKey)].values.empty());
    EXPECT_TRUE(fake::State().boxes.empty());
    EXPECT_EQ(fake::Reg().opens, fake::Reg().closes);
}

TEST_F(RegistryStoreTest, NetworkClientNeitherReadsNorWrites) {
    PutValidSet();
    fake::PutDword(kSettingsKey, "status", 0);
    dlg.m_bUseRegistry = FALSE;
    const int opens = fake::Reg().opens;
    EXPECT_TRUE(dlg.ReadRegistry());
    EXPECT_EQ(dlg.m_bShutdown, 1);
    EXPECT_TRUE(dlg.WriteRegistry());
    EXPECT_EQ(Dword("status"), 0u);
    EXPECT_EQ(fake::Reg().opens, opens);
    EXPECT_FALSE(KeyExists(kRunKey));
}

TEST_F(RegistryStoreTest, UnreadableKeyShowsMessage26) {
    fake::Reg().failOpenRead.insert(ToLower(kSettingsKey));
    EXPECT_FALSE(dlg.ReadRegistry());
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, LoadStr(IDS_REG_READ_FAILED));
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION));
}

TEST_F(RegistryStoreTest, WriteFailures) {
    // Settings key: message 29, nothing written.
    fake::Reg().failOpenWrite.insert(ToLower(kSettingsKey));
    EXPECT_FALSE(dlg.WriteRegistry());
    EXPECT_EQ(Texts(), std::vector<std::string>{LoadStr(IDS_REG_WRITE_FAILED)});
    EXPECT_FALSE(KeyExists(kRunKey));

    // "version": message 91, nothing else written.
    fake::ResetRegistry();
    fake::Reset();
    fake::Reg().failSet.insert("version");
    EXPECT_FALSE(dlg.WriteRegistry());
    EXPECT_EQ(Texts(), std::vector<std::string>{LoadStr(IDS_REG_SETVALUE_FAILED)});
    EXPECT_FALSE(fake::HasValue(kSettingsKey, "status"));
    EXPECT_FALSE(KeyExists(kRunKey));
    EXPECT_EQ(fake::Reg().opens, fake::Reg().closes);

    // A later value: message 91 too, and what was there before is back (here:
    // nothing), so no mix of old and new values is left to be read.
    fake::ResetRegistry();
    fake::Reset();
    fake::Reg().failSet.insert("times");
    EXPECT_FALSE(dlg.WriteRegistry());
    EXPECT_EQ(Texts(), std::vector<std::string>{LoadStr(IDS_REG_SETVALUE_FAILED)});
    EXPECT_FALSE(fake::HasValue(kSettingsKey, "version"));
    EXPECT_FALSE(fake::HasValue(kSettingsKey, "amwarn"));
    EXPECT_FALSE(KeyExists(kRunKey));

    // Run key: message 29, the values stay, no RunServices and no log line.
    fake::ResetRegistry();
    fake::Reset();
    fake::ResetPlatform();
    fake::Plat().platformId = 1;
    fake::PutDword(kSettingsKey, "logfile", 1);
    fake::UseTempLogFile();
    fake::Reg().failOpenWrite.insert(ToLower(kRunKey));
    EXPECT_FALSE(dlg.WriteRegistry());
    EXPECT_EQ(Texts(), std::vector<std::string>{LoadStr(IDS_REG_WRITE_FAILED)});
    EXPECT_EQ(Str("version"), "4.0");
    EXPECT_FALSE(KeyExists(kRunServicesKey));
    EXPECT_TRUE(fake::LogLines().empty());

    // RunServices key on Windows 95/98/Me: message 29, no log line.
    fake::Reg().failOpenWrite.clear();
    fake::Reg().failOpenWrite.insert(ToLower(kRunServicesKey));
    fake::Reset();
    EXPECT_FALSE(dlg.WriteRegistry());
    EXPECT_EQ(Texts(), std::vector<std::string>{LoadStr(IDS_REG_WRITE_FAILED)});
    EXPECT_TRUE(fake::HasValue(kRunKey, "Vespra"));
    EXPECT_TRUE(fake::LogLines().empty());

    // A start entry that cannot be set or deleted: message 91, no log line.
    const struct {
        DWORD platform;
        BOOL action;
        const char *key;
    } entries[] = {
        {2, 1, kRunKey}, {2, 0, kRunKey}, {1, 1, kRunServicesKey}, {1, 0, kRunServicesKey}};
    fake::Reg().failOpenWrite.clear();
    for (const auto &e : entries) {
        fake::PutString(e.key, "Vespra", "old");
        fake::Reg().failSet = {ToLower(std::string(e.key) + "\\Vespra")};
        fake::Plat().platformId = e.platform;
        dlg.m_bShutdown = e.action;
        fake::Reset();
        EXPECT_FALSE(dlg.WriteRegistry()) << e.key << e.action;
        EXPECT_EQ(Texts(), std::vector<std::string>{LoadStr(IDS_REG_SETVALUE_FAILED)}) << e.key;
        EXPECT_TRUE(fake::LogLines().empty()) << e.key;
    }
}

TEST_F(RegistryStoreTest, StartEntriesFollowTheAction) {
    fake::Plat().platformId = 1; // Windows 95/98/Me
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_EQ(fake::GetString(kRunKey, "Vespra"),
              "\"c:\\program files\\vespra\\vespra.exe\" /logon");
    EXPECT_EQ(fake::GetString(kRunServicesKey, "Vespra"),
              "\"c:\\program files\\vespra\\vespra.exe\"");
    EXPECT_EQ(fake::GetType(kRunKey, "Vespra"), DWORD(REG_SZ));

    dlg.m_bShutdown = 0;
    dlg.m_bRestart = 0;
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_FALSE(fake::HasValue(kRunKey, "Vespra"));
    EXPECT_FALSE(fake::HasValue(kRunServicesKey, "Vespra"));
    // Deleting what is already gone is no error.
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_TRUE(fake::State().boxes.empty());

    dlg.m_bRestart = 1;
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_TRUE(fake::HasValue(kRunKey, "Vespra"));
    EXPECT_TRUE(fake::HasValue(kRunServicesKey, "Vespra"));
}

TEST_F(RegistryStoreTest, OffOnTheNtFamilyDeletesOnlyTheRunEntry) {
    fake::PutString(kRunKey, "Vespra", "old");
    fake::PutString(kRunServicesKey, "Vespra", "left alone");
    dlg.m_bShutdown = 0;
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_FALSE(fake::HasValue(kRunKey, "Vespra"));
    EXPECT_EQ(fake::GetString(kRunServicesKey, "Vespra"), "left alone");
}

} // namespace

// A write that stops anywhere, by a crash or by a failing RegSetValueEx, leaves a
// key that reads as the old settings or as the new ones, never a mix.
class InterruptedRegistryWrite : public RegistryStoreTest {
protected:
    void SetUp() override {
        RegistryStoreTest::SetUp();
        older.m_nHour[1] = 6;
        older.m_nMinute[1] = 30;
        older.m_sPassword = "old";
        FillNonDefault(newer); // every field differs, the action is Restart
    }

    // What a scheduler starting now would load.
    static std::string Loaded() {
        CVespraDlg reader(nullptr, FALSE, FALSE, FALSE);
        reader.m_bShutdown = 7; // a value no store holds, to see an untouched record
        if (!reader.ReadRegistry())
            return "<no settings>";
        return DescribeSettings(reader);
    }
    static std::map<std::string, fake::RegValue> SettingsValues() {
        return fake::Reg().keys[ToLower(kSettingsKey)].values;
    }
    // Writes the record with only the first changes of it reaching the registry.
    static void WriteCrashingAfter(CVespraDlg &record, int changes) {
        fake::Reg().changesBeforeCrash = changes;
        record.WriteRegistry();
        fake::Reg().changesBeforeCrash = -1;
    }

    CVespraDlg older{nullptr, FALSE, FALSE, FALSE};
    CVespraDlg newer{nullptr, FALSE, FALSE, FALSE};
};

TEST_F(InterruptedRegistryWrite, ACrashAfterAnyValueLoadsTheOldOrTheNewSettings) {
    // The journal, the eighteen values and the journal's removal make the settings;
    // the Run entry follows them.
    const int kSettingsChanges = 1 + kSettingsValueCount + 1;
    int k = 0;
    for (;; ++k) {
        fake::ResetRegistry();
        ASSERT_TRUE(older.WriteRegistry());
        fake::Reg().changesBeforeCrash = k;
        newer.WriteRegistry();
        const bool finished = fake::Reg().changesBeforeCrash > 0;
        fake::Reg().changesBeforeCrash = -1;
        if (finished)
            break;
        EXPECT_EQ(Loaded(), DescribeSettings(k < kSettingsChanges ? older : newer))
            << "crash after " << k;
        // The service host reads the action from the values themselves: going from
        // Shut down to Restart, no state on the way reads as Off.
        EXPECT_TRUE(Dword("status") || Dword("restart")) << "crash after " << k;
        EXPECT_TRUE(fake::HasValue(kRunKey, "Vespra"));
        ASSERT_LT(k, 40) << "the write never finished";
    }
    EXPECT_EQ(k - 1, kSettingsChanges + 1) << "all changes: the settings, then the Run entry";
    EXPECT_EQ(Loaded(), DescribeSettings(newer));
    EXPECT_FALSE(fake::HasValue(kSettingsKey, kSettingsJournalValue));
}

TEST_F(InterruptedRegistryWrite, TheActionReadsAsOffOnTheWayOnlyToOrFromOff) {
    // Each change of action, cut short after each of its first writes: the value
    // being set goes first, so the pair never reads as Off on the way from one
    // action that is not Off to another.
    const struct {
        BOOL fromShutdown, fromRestart, toShutdown, toRestart;
        bool offOnTheWay;
    } cases[] = {{0, 1, 1, 0, false},
                 {1, 0, 0, 1, false},
                 {0, 1, 0, 0, true},
                 {0, 0, 1, 0, true},
                 {0, 0, 0, 1, true}};
    for (const auto &c : cases) {
        bool sawOff = false;
        for (int k = 1; k <= 4; ++k) {
            fake::ResetRegistry();
            older.m_bShutdown = c.fromShutdown;
            older.m_bRestart = c.fromRestart;
            ASSERT_TRUE(older.WriteRegistry());
            newer.m_bShutdown = c.toShutdown;
            newer.m_bRestart = c.toRestart;
            WriteCrashingAfter(newer, k);
            sawOff = sawOff || (!Dword("status") && !Dword("restart"));
        }
        EXPECT_EQ(sawOff, c.offOnTheWay)
            << c.fromShutdown << c.fromRestart << "->" << c.toShutdown << c.toRestart;
    }
}

TEST_F(InterruptedRegistryWrite, AFailingValueWriteIsReportedAndTheOldSettingsStay) {
    // The journal first, then the values in their order.
    std::vector<std::string> names = {kSettingsJournalValue};
    names.insert(names.end(), std::begin(kSettingsValueNames), std::end(kSettingsValueNames));
    for (const std::string &name : names) {
        fake::ResetRegistry();
        fake::Reset();
        ASSERT_TRUE(older.WriteRegistry());
        const auto before = SettingsValues();
        fake::Reg().failSet = {name};

        EXPECT_FALSE(newer.WriteRegistry()) << name;

        ASSERT_EQ(Texts(), std::vector<std::string>{LoadStr(IDS_REG_SETVALUE_FAILED)}) << name;
        EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION)) << name;
        fake::Reg().failSet.clear();
        EXPECT_EQ(Loaded(), DescribeSettings(older)) << name;
        // Every other value is put back as it was. The failing one could not be, so
        // the journal stays and goes on giving the old settings.
        for (const auto &v : before) {
            if (v.first != name) {
                EXPECT_EQ(SettingsValues()[v.first].data, v.second.data) << name << ": " << v.first;
            }
        }
        EXPECT_EQ(fake::HasValue(kSettingsKey, kSettingsJournalValue),
                  name != kSettingsJournalValue)
            << name;
        // The Run entry is written only after the settings.
        EXPECT_EQ(fake::GetString(kRunKey, "Vespra"),
                  "\"c:\\program files\\vespra\\vespra.exe\" /logon");
    }

    // A value the old key did not have is deleted again: the key is as it was, and
    // the journal goes.
    fake::ResetRegistry();
    ASSERT_TRUE(older.WriteRegistry());
    fake::Reg().keys[ToLower(kSettingsKey)].values.erase("amwarn");
    const auto before = SettingsValues();
    const std::string loadedBefore = Loaded();
    fake::Reg().failSet = {"amwarn"};
    EXPECT_FALSE(newer.WriteRegistry());
    fake::Reg().failSet.clear();
    EXPECT_EQ(SettingsValues().size(), before.size());
    for (const auto &v : before)
        EXPECT_EQ(SettingsValues()[v.first].data, v.second.data) << v.first;
    EXPECT_FALSE(fake::HasValue(kSettingsKey, kSettingsJournalValue));
    EXPECT_EQ(Loaded(), loadedBefore);
}

TEST_F(InterruptedRegistryWrite, ASecondInterruptedWriteKeepsTheFirstJournal) {
    ASSERT_TRUE(older.WriteRegistry());
    WriteCrashingAfter(newer, 8);
    CVespraDlg third(nullptr, FALSE, FALSE, FALSE);
    third.m_nWarningMinutes = 45;
    third.m_sPassword = "third";
    // The values are a mix now; the journal, not they, is the last complete set.
    WriteCrashingAfter(third, 3);
    EXPECT_EQ(Loaded(), DescribeSettings(older));
    // With a journal there already, none is written: all eighteen values, and still
    // the old settings until the journal goes.
    WriteCrashingAfter(third, kSettingsValueCount);
    EXPECT_EQ(Loaded(), DescribeSettings(older));
    WriteCrashingAfter(third, kSettingsValueCount + 1);
    EXPECT_EQ(Loaded(), DescribeSettings(third));

    ASSERT_TRUE(third.WriteRegistry());
    EXPECT_EQ(Loaded(), DescribeSettings(third));
    EXPECT_FALSE(fake::HasValue(kSettingsKey, kSettingsJournalValue));
}

TEST_F(InterruptedRegistryWrite, TheJournalReadsAsTheKeyItCameFrom) {
    // A hand-edited key: odd types and lengths, an over-long lock, a missing number.
    PutValidSet();
    fake::PutString(kSettingsKey, "times", "7:5 24:00 1:01");
    fake::PutRaw(kSettingsKey, "limithours", REG_BINARY, {3, 0, 0, 0});
    fake::PutRaw(kSettingsKey, "warningminutes", REG_BINARY, {7, 0});
    fake::PutString(kSettingsKey, "lock", std::string(150, 'q'));
    fake::PutDword(kSettingsKey, "welcometime", 42);
    const std::string fromKey = Loaded();
    ASSERT_NE(fromKey, "<no settings>");
    fake::Reset();
    // Every new value written, the journal still there.
    WriteCrashingAfter(newer, 1 + kSettingsValueCount);
    EXPECT_EQ(Loaded(), fromKey);
    // Message 62 for the journal's 24:00 Monday, as for the key's.
    EXPECT_EQ(Texts(), std::vector<std::string>{LoadStr(IDS_TIME_OUT_OF_RANGE)});

    // No settings before the first write: an interrupted first write is no settings.
    fake::ResetRegistry();
    WriteCrashingAfter(newer, 10);
    EXPECT_EQ(Loaded(), "<no settings>");
}

TEST_F(InterruptedRegistryWrite, ADamagedJournalIsIgnoredAndTheValuesStand) {
    fake::PutDword(kSettingsKey, "logfile", 1);
    fake::UseTempLogFile();
    ASSERT_TRUE(older.WriteRegistry());
    const std::string good =
        EncodeSettingsJournal({{"version", {REG_SZ, std::string("4.0", 4)}},
                               {"status", {REG_DWORD, std::string("\1\0\0\0", 4)}}});
    StoredSettings decoded;
    ASSERT_TRUE(DecodeSettingsJournal(good, decoded));
    EXPECT_EQ(decoded.size(), 2u);
    EXPECT_TRUE(DecodeSettingsJournal(std::string("VSJ1\0", 5), decoded)) << "no settings before";
    EXPECT_TRUE(decoded.empty());

    const std::string status = good.substr(5, 16); // one whole value
    ASSERT_EQ(status.substr(0, 7), "\x06status");
    std::vector<std::string> damaged = {
        "", "VSJ", "VSJ1", "XSJ1" + good.substr(4), good + '\0', good + "\x05times"};
    // Cut anywhere, even after a whole value.
    for (size_t n = 5; n < good.size(); ++n)
        damaged.push_back(good.substr(0, n));
    damaged.push_back(std::string("VSJ1\x01\x04") + "evil" + std::string("\1\0\0\0\0", 5));
    damaged.push_back(std::string("VSJ1\x01\x04") + "lock" + std::string("\1\0\0\0\x65", 5) +
                      std::string(101, 'x'));
    damaged.push_back(std::string("VSJ1\x02") + status + status);
    for (const std::string &bytes : damaged) {
        EXPECT_FALSE(DecodeSettingsJournal(bytes, decoded)) << bytes.size();
        EXPECT_TRUE(decoded.empty());
        fake::PutRaw(kSettingsKey, kSettingsJournalValue, REG_BINARY,
                     std::vector<unsigned char>(bytes.begin(), bytes.end()));
        EXPECT_EQ(Loaded(), DescribeSettings(older)) << bytes.size();
    }
    // Not ours: a whole journal of another type.
    fake::PutRaw(kSettingsKey, kSettingsJournalValue, REG_SZ, {good.begin(), good.end()});
    EXPECT_EQ(Loaded(), DescribeSettings(older));
    EXPECT_TRUE(fake::State().boxes.empty());
    EXPECT_NE(fake::LogLines().back().find(": Damaged settings journal ignored"),
              std::string::npos);

    // A write that fails puts the values back as they stood; none is deleted.
    fake::Reg().failSet = {"lock"};
    EXPECT_FALSE(newer.WriteRegistry());
    fake::Reg().failSet.clear();
    EXPECT_EQ(Loaded(), DescribeSettings(older));
    EXPECT_EQ(SettingsValues().size(), size_t(kSettingsValueCount + 2)) << "17, logfile, journal";

    // The next complete write clears it.
    ASSERT_TRUE(newer.WriteRegistry());
    EXPECT_EQ(Loaded(), DescribeSettings(newer));
    EXPECT_FALSE(fake::HasValue(kSettingsKey, kSettingsJournalValue));
}
