// The INI settings store against the profile stand-in on real files: the file's
// exact text, the lookup rules, and round trips of the whole record.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "settings/ini_store.h"
#include "settings/password.h"
#include "settings/registry_store.h"
#include "system/profile.h"
#include "system/registry.h"
#include "tests/unit/scheduler_fixture.h"
#include "tests/support/settings_record.h"

namespace {

// A fresh folder whose path is all lower case, as GetIniPath lower-cases the path.
std::string MakeLowerCaseDir() {
    static int counter = 0;
    const std::string dir =
        "/tmp/vespra-ini-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

const char kDefaultsText[] = "[Vespra]\r\n"
                             "shutdown=1\r\n"
                             "restart=0\r\n"
                             "killdosapps=0\r\n"
                             "days=1,1,1,1,1,0,0\r\n"
                             "time=23:00,23:00,23:00,23:00,23:00,23:00,23:00\r\n"
                             "show_startup=10\r\n"
                             "show_warning=1\r\n"
                             "warning_minutes=5\r\n"
                             "limit_use=0\r\n"
                             "disable_datetime=0\r\n"
                             "disable_regpgms=0\r\n"
                             "time_zone=Eastern Standard Time\r\n";

class IniStoreTest : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        dir = MakeLowerCaseDir();
        // Upper case and backslash as GetModuleFileNameA might give them.
        fake::Files().programPath = dir + "\\VESPRA.EXE";
        ini = dir + "/vespra.ini";
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        fake::ResetPlatform();
    }

    std::string File() const { return fake::ReadFile(ini); }
    void PutFile(const std::string &text) const { fake::WriteFile(ini, text); }

    std::string dir, ini;
    CVespraDlg dlg{nullptr, FALSE, FALSE, FALSE};
};

TEST(GetIniPath, ExtensionReplacedAndLowerCased) {
    fake::ResetFiles();
    fake::Files().programPath = "C:\\Program Files\\Vespra\\VESPRA.EXE";
    EXPECT_EQ(GetIniPath(), "c:\\program files\\vespra\\vespra.ini");
    fake::Files().programPath = "C:\\Tools\\Vespra";
    EXPECT_EQ(GetIniPath(), "c:\\tools\\vespra");
    // The last dot counts, even in a folder name.
    fake::Files().programPath = "D:\\My.Dir\\vespra";
    EXPECT_EQ(GetIniPath(), "d:\\my.ini");
    fake::ResetFiles();
}

TEST_F(IniStoreTest, DefaultsFileTextMessageAndLog) {
    fake::PutDword(kSettingsKey, "logfile", 1);
    fake::UseTempLogFile();
    const auto registryBefore = fake::Reg().keys;

    dlg.WriteIni();

    EXPECT_EQ(File(), kDefaultsText);
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    const auto &box = fake::State().boxes[0];
    EXPECT_EQ(box.text, "Settings for network clients have been saved in:\n" + dir +
                            "\\vespra.ini\n\nClick Help for more information about using "
                            "Vespra on a network.");
    EXPECT_EQ(box.caption, "Vespra");
    EXPECT_EQ(box.type, 0x4040u);
    EXPECT_TRUE(dlg.m_bNetworkHelp);
    EXPECT_TRUE(dlg.m_bUseRegistry);
    ASSERT_EQ(fake::LogLines().size(), 1u);
    EXPECT_NE(fake::LogLines()[0].find(": Settings written to INI file"), std::string::npos);
    // The registry is not touched.
    EXPECT_EQ(fake::Reg().keys.size(), registryBefore.size());
    EXPECT_FALSE(fake::HasValue(kSettingsKey, "version"));
}

TEST_F(IniStoreTest, RewritingGivesTheSameFileAndDropsEverythingElse) {
    PutFile("[Other]\r\nx=1\r\n[Vespra]\r\nshutdown=0\r\nextra=5\r\npassword=zzz\r\n");
    dlg.WriteIni();
    EXPECT_EQ(File(), kDefaultsText);
    dlg.WriteIni();
    EXPECT_EQ(File(), kDefaultsText);
    EXPECT_EQ(fake::State().boxes.size(), 2u);
}

TEST_F(IniStoreTest, PasswordComesFirstWhenSet) {
    dlg.m_sPassword = "Secret1234";
    dlg.WriteIni();
    EXPECT_EQ(File(), "[Vespra]\r\npassword_hash=" + Hex(dlg.m_sPassword.Record()) + "\r\n" +
                          (kDefaultsText + 10));
}

TEST_F(IniStoreTest, WholeRecordRoundTrips) {
    FillNonDefault(dlg);
    dlg.m_bWelcome = 1; // the file joins the flag with its seconds: on, so they are kept
    dlg.WriteIni();
    EXPECT_NE(File().find("\r\ntime=0:00,7:05,12:30,19:59,23:01,5:45,22:10\r\n"),
              std::string::npos);
    EXPECT_NE(File().find("\r\ndays=0,1,0,1,0,1,1\r\n"), std::string::npos);

    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    other.m_bAmWarn = 1; // not in the file: the reader's own value is kept
    ASSERT_TRUE(other.ReadIni());
    ScheduleSettings expected = dlg;
    expected.m_bAmWarn = 1;
    EXPECT_EQ(DescribeSettings(other), DescribeSettings(expected));
}

TEST_F(IniStoreTest, FeaturesSwitchedOffAreWrittenAsZero) {
    dlg.m_bWelcome = 0;
    dlg.m_nWelcomeTime = 25;
    dlg.m_bLimit = 0;
    dlg.m_nLimitHours = 4;
    dlg.WriteIni();
    EXPECT_NE(File().find("\r\nshow_startup=0\r\n"), std::string::npos);
    EXPECT_NE(File().find("\r\nlimit_use=0\r\n"), std::string::npos);
    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(other.ReadIni());
    EXPECT_EQ(other.m_bWelcome, 0);
    EXPECT_EQ(other.m_nWelcomeTime, 0u);
    EXPECT_EQ(other.m_bLimit, 0);
    EXPECT_EQ(other.m_nLimitHours, 0u);
}

TEST_F(IniStoreTest, OnlyTheMarkerGivesTheIniDefaults) {
    PutFile("[Vespra]\r\nshutdown=1\r\n");
    // Fields away from every default, to see each one set.
    dlg.m_bShutdown = 0;
    dlg.m_bRestart = 1;
    dlg.m_bKillDosApps = 0;
    for (int d = 0; d < kDays; ++d) {
        dlg.m_bDay[d] = d % 2;
        dlg.m_nHour[d] = 4;
        dlg.m_nMinute[d] = 4;
    }
    dlg.m_nWelcomeTime = 3;
    dlg.m_bShowWarning = 0;
    dlg.m_nWarningMinutes = 9;
    dlg.m_bLimit = 0;
    dlg.m_bDisableCpl = 1;
    dlg.m_bDisableRegPgms = 1;
    ASSERT_TRUE(dlg.ReadIni());
    EXPECT_EQ(dlg.m_bShutdown, 1);
    EXPECT_EQ(dlg.m_bRestart, 0);
    EXPECT_EQ(dlg.m_bKillDosApps, 1);
    for (int d = 0; d < kDays; ++d) {
        EXPECT_EQ(dlg.m_bDay[d], d <= 4 ? 1 : 0) << d;
        EXPECT_EQ(dlg.m_nHour[d], 23) << d;
        EXPECT_EQ(dlg.m_nMinute[d], 0) << d;
    }
    EXPECT_EQ(dlg.m_bWelcome, 1);
    EXPECT_EQ(dlg.m_nWelcomeTime, 10u);
    EXPECT_EQ(dlg.m_bShowWarning, 1);
    EXPECT_EQ(dlg.m_nWarningMinutes, 5u);
    EXPECT_EQ(dlg.m_bLimit, 1);
    EXPECT_EQ(dlg.m_nLimitHours, 8u);
    EXPECT_FALSE(dlg.m_sPassword.IsSet());
    EXPECT_EQ(dlg.m_bDisableCpl, 0);
    EXPECT_EQ(dlg.m_bDisableRegPgms, 0);
}

TEST_F(IniStoreTest, NoSettingsLeaveTheRecordAlone) {
    dlg.m_bRestart = 1;
    EXPECT_FALSE(dlg.ReadIni()) << "no file";
    for (const char *text :
         {"[Vespra]\r\nshutdown=999\r\nrestart=0\r\n", "[Other]\r\nshutdown=1\r\n",
          "[Vespra]\r\nrestart=0\r\n", "[Vespra]\r\nshutdown=\r\n", "[Vespra]\r\nshutdown\r\n"}) {
        PutFile(text);
        EXPECT_FALSE(dlg.ReadIni()) << text;
        EXPECT_EQ(dlg.m_bRestart, 1) << text;
    }
    EXPECT_TRUE(fake::State().boxes.empty());
}

TEST_F(IniStoreTest, EmptyPasswordKeyKeepsThePassword) {
    dlg.WriteIni();
    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    other.m_sPassword = "already";
    ASSERT_TRUE(other.ReadIni());
    EXPECT_TRUE(other.m_sPassword.Accepts("already"));
    PutFile("[Vespra]\r\nshutdown=1\r\npassword=\r\npassword_hash=\r\n");
    ASSERT_TRUE(other.ReadIni());
    EXPECT_TRUE(other.m_sPassword.Accepts("already"));
}

TEST_F(IniStoreTest, TimesAreNotRangeChecked) {
    PutFile("[vespra]\r\nSHUTDOWN=1\r\ntime=7:5,24:00,23:61,1:1,x,2:2,3:3\r\ndays=1,0\r\n");
    dlg.m_nHour[4] = 6;
    dlg.m_bDay[5] = 0;
    dlg.m_bDay[6] = 1;
    ASSERT_TRUE(dlg.ReadIni());
    EXPECT_EQ(dlg.m_nHour[0], 7);
    EXPECT_EQ(dlg.m_nMinute[0], 5);
    EXPECT_EQ(dlg.m_nHour[1], 24);
    EXPECT_EQ(dlg.m_nMinute[2], 61);
    EXPECT_EQ(dlg.m_nHour[3], 1);
    EXPECT_EQ(dlg.m_nHour[4], 6); // does not parse: kept, as is every later day
    EXPECT_TRUE(fake::State().boxes.empty());
    // A short "days" list keeps the flags it has no number for.
    EXPECT_EQ(dlg.m_bDay[0], 1);
    EXPECT_EQ(dlg.m_bDay[1], 0);
    EXPECT_EQ(dlg.m_bDay[2], 1);
    EXPECT_EQ(dlg.m_bDay[5], 0);
    EXPECT_EQ(dlg.m_bDay[6], 1);
}

TEST_F(IniStoreTest, PasswordFormsThatAProfileReaderWouldChangeAreQuoted) {
    // Stored as '...' (quotes a reader would strip) and ending in a no-break space.
    fake::Plat().passwordCryptoMissing = true;
    for (const std::string &password : {std::string("$ab!"), std::string("ab\x9D"),
                                        std::string("\x1D"
                                                    "abc")}) {
        dlg.m_sPassword = password;
        dlg.WriteIni();
        const std::string stored = ScramblePassword(password);
        EXPECT_NE(File().find("password=\"" + stored + "\"\r\n"), std::string::npos);
        CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
        ASSERT_TRUE(other.ReadIni());
        EXPECT_TRUE(other.m_sPassword.Accepts(password));
    }
    EXPECT_EQ(ScramblePassword("$ab!").front(), '\'');
    EXPECT_EQ(ScramblePassword("$ab!").back(), '\'');
    EXPECT_EQ(ScramblePassword("\x1D"
                               "abc")
                  .front(),
              ' ');
}

TEST_F(IniStoreTest, EveryStorablePasswordRoundTrips) {
    // Through the file line the store writes and the reader it uses.
    for (int c = 1; c < 256; ++c) {
        for (size_t length : {size_t(1), size_t(10)}) {
            const std::string password(length, char(c));
            if (!IsStorablePassword(password))
                continue;
            const std::string value = IniPasswordValue(ScramblePassword(password));
            ASSERT_FALSE(value.empty());
            PutFile("[Vespra]\r\npassword=" + value + "\r\n");
            char buffer[100];
            const DWORD n = IniReadString("Vespra", "password", "", buffer, 100, ini);
            ASSERT_EQ(UnscramblePassword(std::string(buffer, n)), password) << c << " x " << length;
        }
    }
    // And once through the whole store, where it has no crypto.
    fake::Plat().passwordCryptoMissing = true;
    dlg.m_sPassword = "\x9D\xF0 a'\"";
    dlg.WriteIni();
    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(other.ReadIni());
    EXPECT_TRUE(other.m_sPassword.Accepts("\x9D\xF0 a'\""));
}

TEST_F(IniStoreTest, UnstorablePasswordLeavesTheFileAsItWas) {
    fake::Plat().passwordCryptoMissing = true; // with it, the hash stores any password
    dlg.WriteIni();
    fake::Reset();
    dlg.m_bNetworkHelp = FALSE;
    dlg.m_sPassword = "\xFD"
                      "ab"; // its form begins with a NUL
    ASSERT_FALSE(IsStorablePassword("\xFD"
                                    "ab"));
    dlg.m_bRestart = 1;
    dlg.WriteIni();
    EXPECT_EQ(File(), kDefaultsText);
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, LoadStr(IDS_INI_PASSWORD_NOT_STORED));
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION));
    EXPECT_FALSE(dlg.m_bNetworkHelp);
}

// A write that fails at any step leaves the old file whole and says so; it neither
// logs nor claims the settings were saved.
TEST_F(IniStoreTest, FailedWriteAtEachStepKeepsTheOldFile) {
    const std::string old = "[Vespra]\r\nshutdown=0\r\nrestart=1\r\n";
    const std::string temp = dir + "/vespra.ini.tmp";
    for (const char *step : {"create", "write", "replace"}) {
        for (const bool hadFile : {true, false}) {
            fake::Reset();
            fake::PutDword(kSettingsKey, "logfile", 1);
            fake::UseTempLogFile();
            std::filesystem::remove(ini);
            if (hadFile)
                PutFile(old);
            fake::Files().fail = {step};
            dlg.m_bNetworkHelp = FALSE;

            dlg.WriteIni();

            EXPECT_EQ(fake::FileThere(ini), hadFile) << step;
            EXPECT_EQ(File(), hadFile ? old : "") << step;
            EXPECT_FALSE(fake::FileThere(temp)) << step << ": the part-written file is removed";
            ASSERT_EQ(fake::State().boxes.size(), 1u) << step;
            EXPECT_EQ(fake::State().boxes[0].text,
                      "Internal Error:\n\nThe settings can't be written to " + dir +
                          "\\vespra.ini; the file was left as it was")
                << step;
            EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION)) << step;
            EXPECT_FALSE(dlg.m_bNetworkHelp) << step;
            EXPECT_TRUE(fake::LogLines().empty()) << step;
        }
    }
    // The old file reads as it did.
    fake::Files().fail.clear();
    PutFile(old);
    fake::Files().fail = {"replace"};
    dlg.WriteIni();
    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(other.ReadIni());
    EXPECT_EQ(other.m_bShutdown, 0);
    EXPECT_EQ(other.m_bRestart, 1);
}

TEST_F(IniStoreTest, NewTextIsMadeBesideTheFileAndReplacesItInOneStep) {
    PutFile("[Vespra]\r\nshutdown=0\r\n");
    fake::Files().calls.clear();
    dlg.WriteIni();
    EXPECT_EQ(File(), kDefaultsText);
    const std::string windowsIni = dir + "\\vespra.ini";
    std::vector<std::string> steps;
    for (const auto &c : fake::Files().calls)
        steps.push_back(c.op + " " + c.path + (c.to.empty() ? "" : " " + c.to));
    // Never a delete of the old file: until the replace, it is all there is.
    EXPECT_EQ(steps, (std::vector<std::string>{"write " + windowsIni + ".tmp",
                                               "replace " + windowsIni + ".tmp " + windowsIni}));
    EXPECT_FALSE(fake::FileThere(dir + "/vespra.ini.tmp"));

    // A file left by a write that died before its replace is neither read nor in the
    // way of the next write.
    fake::WriteFile(dir + "/vespra.ini.tmp", "[Vespra]\r\nshutdown=0\r\nrest");
    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(other.ReadIni());
    EXPECT_EQ(other.m_bShutdown, 1);
    dlg.m_bRestart = 1;
    dlg.WriteIni();
    EXPECT_NE(File().find("\r\nrestart=1\r\n"), std::string::npos);
    EXPECT_FALSE(fake::FileThere(dir + "/vespra.ini.tmp"));

    // A folder in the temporary file's place: the write fails, the file stays.
    std::filesystem::create_directory(dir + "/vespra.ini.tmp");
    fake::Reset();
    dlg.m_bRestart = 0;
    dlg.WriteIni();
    EXPECT_NE(File().find("\r\nrestart=1\r\n"), std::string::npos);
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION));
}

TEST_F(IniStoreTest, OverlongValuesCountAsMissing) {
    PutFile("[Vespra]\r\nshutdown=1\r\npassword=" + std::string(150, 'p') +
            "\r\ndays=" + std::string(120, '0') + "\r\ntime=1:00,1:00,1:00,1:00,1:00,1:00,1:00" +
            std::string(100, ' ') + ",\r\n");
    dlg.m_sPassword = "kept";
    for (int d = 0; d < kDays; ++d)
        dlg.m_bDay[d] = 0;
    ASSERT_TRUE(dlg.ReadIni());
    EXPECT_TRUE(dlg.m_sPassword.Accepts("kept"));
    EXPECT_EQ(dlg.m_bDay[0], 1); // the default list
    EXPECT_EQ(dlg.m_bDay[6], 0);
    // Blanks inside a value are part of it: this one is too long, so 23:00 applies.
    EXPECT_EQ(dlg.m_nHour[0], 23);

    // 98 characters of the scrambled form are read back whole.
    fake::Plat().passwordCryptoMissing = true;
    const std::string password(kMaxStoredPassword, 'w');
    dlg.m_sPassword = password;
    dlg.WriteIni();
    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(other.ReadIni());
    EXPECT_TRUE(other.m_sPassword.Accepts(password));
}

// The loading path of the scheduler's start: registry, then INI file, then defaults.
TEST_F(IniStoreTest, StartWithOnlyAnIniFileRunsAsANetworkClient) {
    PutFile("[Vespra]\r\nshutdown=0\r\nrestart=1\r\nshow_startup=7\r\n");
    CVespraDlg scheduler(nullptr, FALSE, TRUE, FALSE);
    fake::Open(scheduler);
    EXPECT_FALSE(scheduler.m_bUseRegistry);
    EXPECT_EQ(scheduler.m_bRestart, 1);
    EXPECT_EQ(scheduler.m_nWelcomeTime, 7u);
    EXPECT_FALSE(scheduler.IsDlgItemVisible(1005));
    for (const char *name : {"version", "status", "restart", "days", "times", "lock", "welcome"})
        EXPECT_FALSE(fake::HasValue(kSettingsKey, name)) << name;
    EXPECT_FALSE(fake::HasValue(kRunKey, "Vespra"));
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_useregistry"), 0u);
    EXPECT_TRUE(fake::State().boxes.empty());
    fake::Close(scheduler);
}

TEST_F(IniStoreTest, FirstStartStoresTheDefaultsInTheRegistry) {
    CVespraDlg scheduler(nullptr, FALSE, TRUE, FALSE);
    fake::Open(scheduler);
    EXPECT_TRUE(scheduler.m_bUseRegistry);
    EXPECT_TRUE(scheduler.IsDlgItemVisible(1005));
    EXPECT_EQ(fake::GetString(kSettingsKey, "version"), "4.0");
    EXPECT_EQ(fake::GetString(kSettingsKey, "days"), "1 1 1 1 1 0 0");
    EXPECT_EQ(fake::GetDword(kSettingsKey, "status"), 1u);
    EXPECT_TRUE(fake::HasValue(kRunKey, "Vespra"));
    EXPECT_FALSE(fake::FileThere(ini));
    fake::Close(scheduler);
}

TEST_F(IniStoreTest, RegistrySettingsWinOverTheIniFile) {
    dlg.m_nWarningMinutes = 17;
    ASSERT_TRUE(dlg.WriteRegistry());
    PutFile("[Vespra]\r\nshutdown=1\r\nwarning_minutes=3\r\n");
    CVespraDlg scheduler(nullptr, FALSE, TRUE, FALSE);
    fake::Open(scheduler);
    EXPECT_TRUE(scheduler.m_bUseRegistry);
    EXPECT_EQ(scheduler.m_nWarningMinutes, 17u);
    fake::Close(scheduler);
}

// The stand-in's lookup rules, each as Wine 8's profile calls behave.
TEST_F(IniStoreTest, ProfileStandInFollowsTheRealLookupRules) {
    PutFile("; note\r\n  [ vespra ]  \r\n  Shutdown  =  12  \r\nflag\r\nq=\"  x  \"\r\n"
            "neg=-1\r\nhex=0x10\r\nlead= 5abc\r\nbig=4294967298\r\n[Vespra]\r\nrestart=4\n"
            "[Two]\nk=v");
    char buffer[100];
    EXPECT_EQ(IniReadInt("VESPRA", "shutdown", 999, ini), 12u);
    EXPECT_EQ(IniReadInt("Vespra", "restart", 999, ini), 999u); // only the first section counts
    EXPECT_EQ(IniReadInt("Vespra", "flag", 999, ini), 999u);    // a line without '='
    EXPECT_EQ(IniReadInt("Vespra", "neg", 999, ini), 0xFFFFFFFFu);
    EXPECT_EQ(IniReadInt("Vespra", "hex", 999, ini), 16u);
    EXPECT_EQ(IniReadInt("Vespra", "lead", 999, ini), 5u);
    EXPECT_EQ(IniReadInt("Vespra", "big", 999, ini), 2u); // wraps modulo 2^32
    EXPECT_EQ(IniReadString("Vespra", "q", "", buffer, 100, ini), 5u);
    EXPECT_EQ(std::string(buffer), "  x  ");
    EXPECT_EQ(IniReadString("two", "K", "", buffer, 100, ini), 1u);
    EXPECT_EQ(IniReadString("Vespra", "none", "dflt", buffer, 3, ini), 2u);
    EXPECT_EQ(std::string(buffer), "df");

    // Writing replaces in place, appends new keys and sections, and ends lines in CR LF.
    PutFile("[Vespra]\nshutdown=5\nrestart=6");
    IniWriteString("Vespra", "new", " 1 ", ini);
    IniWriteString("vespra", "SHUTDOWN", "9", ini);
    IniWriteString("Sec2", "z", "1", ini);
    EXPECT_EQ(File(), "[Vespra]\r\nshutdown=9\r\nrestart=6\r\nnew=1\r\n[Sec2]\r\nz=1\r\n");
}

// Every stored form of the password in both stores: the password it takes, and what
// the next write leaves.
TEST_F(IniStoreTest, PasswordFormsInBothStores) {
    const std::string hashed = PasswordLock("hashed1").Record(), old = ScramblePassword("oldpass");
    auto with = [&hashed](size_t at, const std::string &bytes) {
        return hashed.substr(0, at) + bytes + hashed.substr(at + bytes.size());
    };
    const struct {
        const char *label;
        bool old, noCrypto;
        std::string record;
        const char *opens; // nullptr: no text
        bool kept;         // the record read (or none) is written back unchanged
    } cases[] = {
        {"old form only", true, false, "", "oldpass", false},
        {"hash only", false, false, hashed, "hashed1", true},
        {"both: the hash wins", true, false, hashed, "hashed1", true},
        {"cut short", true, false, hashed.substr(1), "oldpass", false},
        {"other version", true, false, with(0, "\x02"), "oldpass", false},
        {"other algorithm", true, false, with(1, "\x07"), "oldpass", false},
        {"no iterations", true, false, with(2, std::string(4, '\0')), "oldpass", false},
        {"absurd iterations", true, false, with(2, "\xFF\xFF\xFF\xFF"), "oldpass", false},
        {"crypto missing", true, true, "", "oldpass", true},
        {"crypto missing, hash", false, true, hashed, nullptr, true},
    };
    // Each as found, then as written back; or, as the setup's " /update" finds it,
    // converted, then written back.
    for (const auto &c : cases) {
        for (int form = 0; form < 4; ++form) {
            const bool reg = form % 2 == 0, update = form >= 2;
            const std::string label = c.label + std::string(reg ? " (registry" : " (INI") +
                                      (update ? ", update)" : ")");
            auto value = [&](const char *name) { // as the store holds it; the record in hex
                const std::string f = File(), key = std::string("\r\n") + name + "=";
                const size_t at = f.find(key);
                if (!reg && at == std::string::npos)
                    return std::string();
                if (!reg)
                    return f.substr(at + key.size(), f.find('\r', at + 2) - at - key.size());
                if (name == std::string("lock") || !fake::HasValue(kSettingsKey, name))
                    return fake::GetString(kSettingsKey, name);
                const auto &data = fake::Reg().keys[ToLower(kSettingsKey)].values[name].data;
                return Hex({data.begin(), data.end()});
            };
            fake::ResetRegistry();
            fake::Plat().passwordCryptoMissing = c.noCrypto;
            CVespraDlg store(nullptr, FALSE, FALSE, FALSE);
            ASSERT_TRUE(store.WriteRegistry());
            fake::PutString(kSettingsKey, "lock", c.old ? old : "");
            fake::PutRaw(kSettingsKey, "lock_hash", REG_BINARY, {c.record.begin(), c.record.end()});
            PutFile("[Vespra]\r\nshutdown=1\r\npassword=" + (c.old ? IniPasswordValue(old) : "") +
                    "\r\npassword_hash=" + Hex(c.record) + "\r\n");
            for (int pass = 0; pass < 2; ++pass) { // as found, then as written back
                ASSERT_TRUE(reg ? store.ReadRegistry() : store.ReadIni()) << label;
                for (const char *typed : {"oldpass", "hashed1", ""})
                    EXPECT_EQ(store.m_sPassword.Accepts(typed), c.opens && !strcmp(typed, c.opens))
                        << label << " " << pass << ": " << typed;
                if (update && pass == 0)
                    store.ConvertOldPasswords();
                else if (reg ? !store.WriteRegistry() : (store.WriteIni(), false))
                    FAIL() << label;
                const bool hash = !c.noCrypto || !c.record.empty();
                const std::string lock = value(reg ? "lock" : "password"),
                                  record = value(reg ? "lock_hash" : "password_hash");
                EXPECT_EQ(lock, hash ? "" : reg ? old : IniPasswordValue(old)) << label;
                EXPECT_EQ(record.size(), hash ? 2 * kPasswordRecordSize : 0) << label;
                EXPECT_EQ(record == Hex(c.record), c.kept) << label;
            }
        }
    }
}

} // namespace
