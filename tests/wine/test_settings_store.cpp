// The settings stores through the real API: the registry as reg.exe lists it, the
// INI file as the system's own profile calls read it, the stored password against
// the platform runtime's srand/rand, and the program's first and network-client
// starts.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "settings/ini_store.h"
#include "settings/password.h"
#include "settings/policy.h"
#include "settings/registry_store.h"
#include "system/files.h"
#include "system/profile.h"
#include "system/registry.h"
#include "tests/support/settings_record.h"
#include "tests/wine/wine_test_support.h"

namespace {

const char kKey[] = "SOFTWARE\\Vespra";

struct RegEntry {
    std::string type;
    std::string data;
};

// "reg query HKLM\<key>": lines "    name    TYPE    data" under the key's name.
std::map<std::string, RegEntry> RegQuery(const std::string &key) {
    DWORD rc = 0;
    const std::string out = wt::RunAndCapture("reg.exe query \"HKLM\\" + key + "\"", 30000, &rc);
    std::map<std::string, RegEntry> values;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos)
            end = out.size();
        std::string line = out.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, 4, "    ") != 0)
            continue;
        const size_t t = line.find("    ", 4);
        if (t == std::string::npos)
            continue;
        const size_t d = line.find("    ", t + 4);
        RegEntry e;
        e.type = line.substr(t + 4, d == std::string::npos ? std::string::npos : d - t - 4);
        e.data = d == std::string::npos ? std::string() : line.substr(d + 4);
        values[line.substr(4, t - 4)] = e;
    }
    return values;
}

std::string RawString(const char *key, const char *name, DWORD *type = nullptr) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return "<no key>";
    char buffer[512] = {};
    DWORD size = sizeof buffer, t = 0;
    const LONG rc = RegQueryValueExA(h, name, nullptr, &t, reinterpret_cast<BYTE *>(buffer), &size);
    RegCloseKey(h);
    if (type)
        *type = t;
    return rc == ERROR_SUCCESS ? std::string(buffer, size) : "<missing>";
}

bool ValueExists(const char *key, const char *name) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    const bool found =
        RegQueryValueExA(h, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(h);
    return found;
}

void DeleteStartEntry() {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_WRITE, &h) == ERROR_SUCCESS) {
        RegDeleteValueA(h, kStartValueName);
        RegCloseKey(h);
    }
}

// Answers the message boxes this process shows while the test waits in the store:
// remembers each box's text and presses OK.
class BoxAnswerer {
public:
    BoxAnswerer() : m_thread([this] { Run(); }) {}
    ~BoxAnswerer() {
        m_stop = true;
        m_thread.join();
    }
    std::vector<std::string> Texts() {
        std::lock_guard<wt::Mutex> lock(m_mutex);
        return m_texts;
    }

private:
    void Run() {
        while (!m_stop) {
            for (HWND box : wt::FindTopLevelWindows("Vespra", "#32770", GetCurrentProcessId())) {
                if (!IsWindowVisible(box))
                    continue;
                {
                    std::lock_guard<wt::Mutex> lock(m_mutex);
                    m_texts.push_back(wt::GetControlText(box, 0xFFFF));
                }
                SendMessageA(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(20);
        }
    }
    wt::Mutex m_mutex;
    std::vector<std::string> m_texts;
    volatile bool m_stop = false;
    wt::Thread m_thread;
};

// The stored form by the rule, drawn from the platform runtime's own generator.
std::string ScrambleWithRuntimeRand(const std::string &password) {
    HMODULE crt = LoadLibraryA("msvcrt.dll");
    if (!crt)
        return "<no msvcrt>";
    // Through void (*)() so the compiler accepts the change of signature.
    auto srandFn = reinterpret_cast<void(__cdecl *)(unsigned)>(
        reinterpret_cast<void (*)()>(GetProcAddress(crt, "srand")));
    auto randFn = reinterpret_cast<int(__cdecl *)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(crt, "rand")));
    std::string out;
    if (srandFn && randFn) {
        srandFn(71);
        unsigned k = unsigned(randFn()) % 3;
        for (unsigned char c : password) {
            ++k;
            out += char((c + k + unsigned(randFn()) % 3) & 0xFF);
        }
    }
    FreeLibrary(crt);
    return out;
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(wt::DeleteSettingsKey());
        DeleteStartEntry();
        m_ini = GetIniPath();
        IniFlush(m_ini);
        DeleteFileA(m_ini.c_str());
    }
    void TearDown() override {
        wt::DeleteSettingsKey();
        DeleteStartEntry();
        IniFlush(m_ini);
        DeleteFileA(m_ini.c_str());
    }
    std::string m_ini;
};

TEST_F(SettingsStore, ValuesAsRegListsThemWithTheirTypes) {
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    const int hours[kDays] = {7, 0, 23, 10, 9, 12, 1};
    const int minutes[kDays] = {0, 0, 5, 59, 9, 30, 1};
    SetTimes(dlg, hours, minutes);
    dlg.m_bDay[6] = 1;
    dlg.m_nWarningMinutes = 15;
    dlg.m_bLimit = 1;
    dlg.m_nLimitHours = 3;
    dlg.m_bKillDosApps = 1;
    dlg.m_sPassword = "abc";
    ASSERT_TRUE(dlg.WriteRegistry());

    const auto values = RegQuery(kKey);
    const std::map<std::string, RegEntry> expected = {
        {"version", {"REG_SZ", "4.0"}},
        {"status", {"REG_DWORD", "0x1"}},
        {"restart", {"REG_DWORD", "0x0"}},
        {"days", {"REG_SZ", "1 1 1 1 1 0 1"}},
        {"times", {"REG_SZ", "7:00 0:00 23:05 10:59 9:09 12:30 1:01"}},
        {"welcome", {"REG_DWORD", "0x1"}},
        {"welcometime", {"REG_DWORD", "0xa"}},
        {"showwarning", {"REG_DWORD", "0x1"}},
        {"warningminutes", {"REG_DWORD", "0xf"}},
        {"limit", {"REG_DWORD", "0x1"}},
        {"limithours", {"REG_DWORD", "0x3"}},
        {"lock", {"REG_SZ", ""}},
        {"disablecpl", {"REG_DWORD", "0x0"}},
        {"disableregpgms", {"REG_DWORD", "0x0"}},
        {"killdosapps", {"REG_DWORD", "0x1"}},
        {"amwarn", {"REG_DWORD", "0x1"}}};
    for (const auto &e : expected) {
        auto it = values.find(e.first);
        ASSERT_NE(it, values.end()) << e.first;
        EXPECT_EQ(it->second.type, e.second.type) << e.first;
        EXPECT_EQ(it->second.data, e.second.data) << e.first;
    }
    // Every REG_SZ carries its NUL in its length.
    EXPECT_EQ(RawString(kKey, "version"), std::string("4.0", 4));
    // The password only as its hash record.
    ASSERT_TRUE(values.count("lock_hash"));
    EXPECT_EQ(values.at("lock_hash").type, "REG_BINARY");
    EXPECT_EQ(values.at("lock_hash").data.size(), 2 * kPasswordRecordSize);

    // And the whole record reads back through the real calls.
    CVespraDlg other(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(other.ReadRegistry());
    EXPECT_EQ(DescribeSettings(other), DescribeSettings(dlg));
}

TEST_F(SettingsStore, ADamagedJournalIsIgnoredAndTheValuesLoad) {
    CVespraDlg written(nullptr, FALSE, FALSE, FALSE), reader(nullptr, FALSE, FALSE, FALSE);
    NumberedSettings(written, 2);
    ASSERT_TRUE(written.WriteRegistry());
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_WRITE, &h), ERROR_SUCCESS);
    const BYTE cut[] = {'V', 'S', 'J', '1', 16, 7, 'v', 'e', 'r'}; // a journal cut short
    EXPECT_EQ(RegSetValueExA(h, kSettingsJournalValue, 0, REG_BINARY, cut, sizeof cut),
              ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_TRUE(reader.ReadRegistry());
    EXPECT_EQ(DescribeSettings(reader), DescribeSettings(written));
}

// Values an outside program (reg.exe here, Group Policy on a real machine) puts
// under the policy key: the watch on the policies' key sees each change once, and the
// values read back through the real calls win over the stored ones.
TEST_F(SettingsStore, PolicyValuesAreSeenAsTheyChangeAndWin) {
    HKEY policies = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPoliciesKey, 0, nullptr, 0, KEY_READ, nullptr,
                              &policies, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(policies);
    wt::RunAndCapture("reg.exe delete \"HKLM\\" + std::string(kPolicyKey) + "\" /f", 30000);
    RegChangeWatch watch(kPoliciesKey);
    EXPECT_FALSE(watch.Changed());

    DWORD rc = 1;
    wt::RunAndCapture("reg.exe add \"HKLM\\" + std::string(kPolicyKey) +
                          "\" /v times /t REG_SZ /d \"6:00 6:00 6:00 6:00 6:00 6:00 6:15\" /f",
                      30000, &rc);
    ASSERT_EQ(rc, 0u);
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());

    ScheduleSettings s;
    EXPECT_EQ(ApplyPolicy(ReadPolicyValues(), s), unsigned(kManagedTimes));
    EXPECT_EQ(s.m_nHour[6] * 100 + s.m_nMinute[6], 615);

    wt::RunAndCapture("reg.exe delete \"HKLM\\" + std::string(kPolicyKey) + "\" /f", 30000, &rc);
    ASSERT_EQ(rc, 0u);
    EXPECT_TRUE(watch.Changed());
    EXPECT_TRUE(ReadPolicyValues().empty());
}

TEST_F(SettingsStore, RunEntryIsTheQuotedPathWithLogon) {
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(dlg.WriteRegistry());
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const auto run = RegQuery(kRunKey);
    ASSERT_TRUE(run.count("Vespra"));
    EXPECT_EQ(run.at("Vespra").type, "REG_SZ");
    EXPECT_EQ(run.at("Vespra").data, std::string("\"") + self + "\" /logon");
    // Wine is of the NT family: the RunServices key is not touched.
    EXPECT_FALSE(ValueExists(kRunServicesKey, "Vespra"));

    dlg.m_bShutdown = 0;
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_FALSE(ValueExists(kRunKey, "Vespra"));
    dlg.m_bRestart = 1;
    ASSERT_TRUE(dlg.WriteRegistry());
    EXPECT_TRUE(ValueExists(kRunKey, "Vespra"));
}

TEST_F(SettingsStore, LockMatchesTheRuntimeGeneratorByTheRule) {
    for (const std::string password : {"abc", "Secret1234", "x", "kids2bed!!"}) {
        const std::string expected = ScrambleWithRuntimeRand(password);
        ASSERT_EQ(expected.size(), password.size());
        // Draws from the runtime's generator in between change nothing.
        rand();
        rand();
        // The form older versions wrote, and ours where there is no crypto; with it, a
        // write leaves "lock" empty.
        EXPECT_EQ(ScramblePassword(password), expected) << password;
        CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
        dlg.m_sPassword = password;
        ASSERT_TRUE(dlg.WriteRegistry());
        DWORD type = 0;
        EXPECT_EQ(RawString(kKey, "lock", &type), std::string(1, '\0')) << password;
        EXPECT_EQ(type, DWORD(REG_SZ));
    }
}

TEST_F(SettingsStore, IniFileAsTheSystemReadsIt) {
    // A file with more in it, written (and so cached) by the system's own calls.
    WritePrivateProfileStringA("Other", "x", "1", m_ini.c_str());
    WritePrivateProfileStringA("Vespra", "extra", "2", m_ini.c_str());

    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    dlg.m_sPassword = "Secret1234";
    dlg.m_bWelcome = 0;
    dlg.m_bLimit = 1;
    dlg.m_nLimitHours = 4;
    dlg.m_nHour[1] = 7;
    dlg.m_nMinute[1] = 5;
    std::vector<std::string> boxes;
    {
        BoxAnswerer answerer;
        dlg.WriteIni();
        boxes = answerer.Texts();
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Settings for network clients have been saved in:\n" + m_ini +
                            "\n\nClick Help for more information about using Vespra on a "
                            "network.");
    EXPECT_TRUE(dlg.m_bNetworkHelp);

    const std::string stored = Hex(dlg.m_sPassword.Record());
    // The times are in the machine's zone, which Wine names.
    ASSERT_FALSE(dlg.m_sTimeZone.empty());
    EXPECT_EQ(wt::ReadWholeFile(m_ini), "[Vespra]\r\n"
                                        "password_hash=" +
                                            stored +
                                            "\r\n"
                                            "shutdown=1\r\n"
                                            "restart=0\r\n"
                                            "killdosapps=0\r\n"
                                            "days=1,1,1,1,1,0,0\r\n"
                                            "time=23:00,7:05,23:00,23:00,23:00,23:00,23:00\r\n"
                                            "show_startup=0\r\n"
                                            "show_warning=1\r\n"
                                            "warning_minutes=5\r\n"
                                            "limit_use=4\r\n"
                                            "disable_datetime=0\r\n"
                                            "disable_regpgms=0\r\n"
                                            "time_zone=" +
                                            dlg.m_sTimeZone + "\r\n");

    auto get = [&](const char *key) {
        char buffer[200] = {};
        GetPrivateProfileStringA("Vespra", key, "<none>", buffer, sizeof buffer, m_ini.c_str());
        return std::string(buffer);
    };
    EXPECT_EQ(get("password_hash"), stored);
    EXPECT_EQ(get("password"), "<none>");
    EXPECT_EQ(get("shutdown"), "1");
    EXPECT_EQ(get("days"), "1,1,1,1,1,0,0");
    EXPECT_EQ(get("time"), "23:00,7:05,23:00,23:00,23:00,23:00,23:00");
    EXPECT_EQ(get("show_startup"), "0");
    EXPECT_EQ(get("limit_use"), "4");
    EXPECT_EQ(get("extra"), "<none>");
    char other[20] = {};
    GetPrivateProfileStringA("Other", "x", "<none>", other, sizeof other, m_ini.c_str());
    EXPECT_STREQ(other, "<none>");

    CVespraDlg back(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(back.ReadIni());
    EXPECT_TRUE(back.m_sPassword.Accepts("Secret1234"));
    EXPECT_FALSE(back.m_sPassword.Accepts("Secret123"));
    EXPECT_EQ(back.m_bWelcome, 0);
    EXPECT_EQ(back.m_nLimitHours, 4u);
    EXPECT_EQ(back.m_nHour[1], 7);
    EXPECT_EQ(back.m_nMinute[1], 5);
}

TEST_F(SettingsStore, MarkerOnlyAndAbsentFiles) {
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    EXPECT_FALSE(dlg.ReadIni());
    WritePrivateProfileStringA("Vespra", "shutdown", "999", m_ini.c_str());
    EXPECT_FALSE(dlg.ReadIni());
    WritePrivateProfileStringA("Vespra", "shutdown", "1", m_ini.c_str());
    ASSERT_TRUE(dlg.ReadIni());
    EXPECT_EQ(dlg.m_bKillDosApps, 1);
    EXPECT_EQ(dlg.m_bLimit, 1);
    EXPECT_EQ(dlg.m_nLimitHours, 8u);
    EXPECT_EQ(dlg.m_nWelcomeTime, 10u);
    EXPECT_EQ(dlg.m_bDay[5], 0);
}

// Every password the dialogs accept survives the INI line through the real profile
// calls, quoted where a reader would otherwise trim or unquote it.
TEST_F(SettingsStore, StorablePasswordsSurviveTheRealProfileCalls) {
    std::vector<std::string> passwords;
    for (int c = 1; c < 256; ++c) {
        passwords.push_back(std::string(1, char(c)));
        passwords.push_back(std::string(10, char(c)));
    }
    passwords.push_back("$ab!");
    int checked = 0;
    for (const std::string &password : passwords) {
        if (!IsStorablePassword(password))
            continue;
        const std::string value = IniPasswordValue(ScramblePassword(password));
        ASSERT_TRUE(WritePrivateProfileStringA("Vespra", "password", value.c_str(), m_ini.c_str()));
        char buffer[100] = {};
        const DWORD n = GetPrivateProfileStringA("Vespra", "password", "", buffer, sizeof buffer,
                                                 m_ini.c_str());
        EXPECT_EQ(UnscramblePassword(std::string(buffer, n)), password)
            << "byte " << unsigned(static_cast<unsigned char>(password[0])) << " x "
            << password.size();
        ++checked;
    }
    EXPECT_GT(checked, 480);
}

// The file's text is what the system's own profile writer makes of the same keys,
// byte for byte; it replaces the old file whole and leaves no temporary file.
TEST_F(SettingsStore, IniWriteReplacesTheFileWithTheProfileWritersText) {
    WritePrivateProfileStringA("Vespra", "shutdown", "0", m_ini.c_str());
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    dlg.m_sPassword = "kids2bed!!";
    dlg.m_bRestart = 1;
    dlg.m_nHour[3] = 21;
    dlg.m_nMinute[3] = 7;
    {
        BoxAnswerer answerer;
        dlg.WriteIni();
    }
    const std::string reference = m_ini + ".ref";
    DeleteFileA(reference.c_str());
    ASSERT_FALSE(dlg.m_sTimeZone.empty());
    const std::pair<const char *, std::string> keys[] = {
        {"password_hash", Hex(dlg.m_sPassword.Record())},
        {"shutdown", "1"},
        {"restart", "1"},
        {"killdosapps", "0"},
        {"days", "1,1,1,1,1,0,0"},
        {"time", "23:00,23:00,23:00,21:07,23:00,23:00,23:00"},
        {"show_startup", "10"},
        {"show_warning", "1"},
        {"warning_minutes", "5"},
        {"limit_use", "0"},
        {"disable_datetime", "0"},
        {"disable_regpgms", "0"},
        {"time_zone", dlg.m_sTimeZone}};
    for (const auto &k : keys)
        ASSERT_TRUE(
            WritePrivateProfileStringA("Vespra", k.first, k.second.c_str(), reference.c_str()));
    IniFlush(reference);
    EXPECT_EQ(wt::ReadWholeFile(m_ini), wt::ReadWholeFile(reference));
    DeleteFileA(reference.c_str());
    EXPECT_EQ(GetFileAttributesA(IniTempPath(m_ini).c_str()), INVALID_FILE_ATTRIBUTES);
    // The system reads the new file, not what it had cached of the old one.
    EXPECT_EQ(GetPrivateProfileIntA("Vespra", "shutdown", 999, m_ini.c_str()), 1u);
    EXPECT_EQ(GetPrivateProfileIntA("Vespra", "restart", 999, m_ini.c_str()), 1u);

    // A file left behind by a write that died before its replace is overwritten.
    ASSERT_TRUE(WritePrivateProfileStringA("Vespra", "junk", "1", IniTempPath(m_ini).c_str()));
    IniFlush(IniTempPath(m_ini));
    dlg.m_bRestart = 0;
    {
        BoxAnswerer answerer;
        dlg.WriteIni();
    }
    EXPECT_EQ(GetPrivateProfileIntA("Vespra", "restart", 999, m_ini.c_str()), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("Vespra", "junk", 999, m_ini.c_str()), 999u);
    EXPECT_EQ(GetFileAttributesA(IniTempPath(m_ini).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsStore, IniWriteThatCannotMakeItsFileLeavesTheOldOneWhole) {
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    {
        BoxAnswerer answerer;
        dlg.WriteIni();
    }
    const std::string old = wt::ReadWholeFile(m_ini);
    ASSERT_NE(old.find("shutdown=1"), std::string::npos);
    // A folder where the new text would go: CreateFileA cannot make the file.
    const std::string temp = IniTempPath(m_ini);
    ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
    dlg.m_bShutdown = 0;
    dlg.m_bNetworkHelp = FALSE;
    std::vector<std::string> boxes;
    {
        BoxAnswerer answerer;
        dlg.WriteIni();
        boxes = answerer.Texts();
    }
    RemoveDirectoryA(temp.c_str());
    EXPECT_EQ(wt::ReadWholeFile(m_ini), old);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Internal Error:\n\nThe settings can't be written to " + m_ini +
                            "; the file was left as it was");
    EXPECT_FALSE(dlg.m_bNetworkHelp);
    CVespraDlg back(nullptr, FALSE, FALSE, FALSE);
    back.m_bShutdown = 0;
    ASSERT_TRUE(back.ReadIni());
    EXPECT_EQ(back.m_bShutdown, 1);

    // The file itself in use without sharing: MoveFileExA cannot replace it, and the
    // new file is removed again.
    HANDLE busy = CreateFileA(m_ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    boxes.clear();
    {
        BoxAnswerer answerer;
        dlg.WriteIni();
        boxes = answerer.Texts();
    }
    CloseHandle(busy);
    EXPECT_EQ(wt::ReadWholeFile(m_ini), old);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(GetFileAttributesA(temp.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A writer killed at arbitrary moments, most of them in the middle of a write,
// always leaves a key that reads as one of its two records, never a mix.
TEST_F(SettingsStore, AWriterKilledAtAnyMomentLeavesOneWholeRecord) {
    std::string described[2];
    for (unsigned n = 1; n <= 2; ++n) {
        CVespraDlg record(nullptr, FALSE, FALSE, FALSE);
        NumberedSettings(record, n);
        record.m_sPassword = PasswordLock(); // salted anew by each writer: checked apart
        described[n - 1] = DescribeSettings(record);
    }
    ASSERT_NE(described[0], described[1]);
    const std::string event = "vespra-writer-" + std::to_string(GetCurrentProcessId());
    int cutShort = 0;
    for (int round = 0; round < 12; ++round) {
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        ASSERT_NE(ready, nullptr);
        wt::Process writer =
            wt::StartProcess(wt::ToolPath("settings_writer_tool.exe"), "writer " + event);
        ASSERT_TRUE(writer.Valid());
        const DWORD waited = WaitForSingleObject(ready, 30000);
        CloseHandle(ready);
        ASSERT_EQ(waited, WAIT_OBJECT_0) << "the writer never wrote";
        Sleep(DWORD(3 + round * 11));
        writer.Terminate();
        ASSERT_TRUE(writer.WaitForExit(10000));

        if (ValueExists(kKey, kSettingsJournalValue))
            ++cutShort;
        CVespraDlg reader(nullptr, FALSE, FALSE, FALSE);
        ASSERT_TRUE(reader.ReadRegistry()) << "round " << round;
        const bool first = reader.m_sPassword.Accepts("pass1");
        EXPECT_NE(first, reader.m_sPassword.Accepts("pass2")) << "round " << round;
        reader.m_sPassword = PasswordLock();
        EXPECT_EQ(DescribeSettings(reader), described[first ? 0 : 1]) << "round " << round;
        // The service host's own reading of the action never says Off: neither
        // record is Off.
        DWORD type = 0;
        const std::string status = RawString(kKey, "status", &type);
        const std::string restart = RawString(kKey, "restart", &type);
        EXPECT_TRUE(status != std::string(4, '\0') || restart != std::string(4, '\0'))
            << "round " << round;
    }
    // Most kills land inside a write: the journal was met and read from.
    EXPECT_GT(cutShort, 0);
    std::printf("writes cut short in the settings values: %d of 12\n", cutShort);

    // The next complete write clears the journal.
    CVespraDlg last(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(last.WriteRegistry());
    EXPECT_FALSE(ValueExists(kKey, kSettingsJournalValue));
}

// The real program, copied with a stand-in installer into a folder of its own, started
// as the service host starts it.
class ProgramStart : public SettingsStore {
protected:
    void SetUp() override {
        SettingsStore::SetUp();
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "vespra-store-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_dir.c_str(), nullptr);
        m_exe = m_dir + "\\vespra.exe";
        ASSERT_TRUE(CopyFileA(wt::VespraExePath().c_str(), m_exe.c_str(), FALSE))
            << wt::VespraExePath();
        // Ending in service mode starts the installer to stop the service.
        ASSERT_TRUE(CopyFileA(wt::ToolPath("vesprasi_standin_tool.exe").c_str(),
                              (m_dir + "\\vesprasi.exe").c_str(), FALSE));
        m_programIni = m_dir + "\\vespra.ini";
    }
    void TearDown() override {
        for (const char *name : {"vespra.exe", "vesprasi.exe", "vespra.ini", "vesprasi_record.txt"})
            DeleteFileA((m_dir + "\\" + name).c_str());
        RemoveDirectoryA(m_dir.c_str());
        SettingsStore::TearDown();
    }

    // Starts, waits for the startup dialog, runs check on it, and stops it as the
    // service host does.
    template <typename Check> void RunScheduler(Check check) {
        wt::Process proc = wt::StartProcess(m_exe, " /service");
        ASSERT_TRUE(proc.Valid()) << GetLastError();
        HWND dlg = wt::WaitForWindow("Vespra", 30000, "#32770", proc.Id());
        ASSERT_NE(dlg, nullptr) << "no startup dialog";
        ASSERT_NE(GetDlgItem(dlg, IDC_STARTUP_OK), nullptr)
            << "not the scheduler dialog: " << wt::GetControlText(dlg, 0xFFFF);
        check(dlg);
        ASSERT_TRUE(wt::PostThreadMsg(proc.ThreadId(), WM_USER + 1));
        EXPECT_TRUE(proc.WaitForExit(15000));
    }

    std::string m_dir, m_exe, m_programIni;
};

TEST_F(ProgramStart, FirstStartWritesTheDefaults) {
    RunScheduler([&](HWND dlg) {
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dlg, 1005)));
        const auto values = RegQuery(kKey);
        const std::map<std::string, std::string> expected = {
            {"version", "4.0"},
            {"status", "0x1"},
            {"restart", "0x0"},
            {"days", "1 1 1 1 1 0 0"},
            {"times", "23:00 23:00 23:00 23:00 23:00 23:00 23:00"},
            {"welcome", "0x1"},
            {"welcometime", "0xa"},
            {"showwarning", "0x1"},
            {"warningminutes", "0x5"},
            {"limit", "0x0"},
            {"limithours", "0x9"},
            {"lock", ""},
            {"disablecpl", "0x0"},
            {"disableregpgms", "0x0"},
            {"killdosapps", "0x0"},
            {"amwarn", "0x1"},
            {"curr_useregistry", "0x1"}};
        for (const auto &e : expected) {
            ASSERT_TRUE(values.count(e.first)) << e.first;
            EXPECT_EQ(values.at(e.first).data, e.second) << e.first;
        }
        const auto run = RegQuery(kRunKey);
        ASSERT_TRUE(run.count("Vespra"));
        EXPECT_EQ(ToLower(run.at("Vespra").data), ToLower("\"" + m_exe + "\" /logon"));
        EXPECT_EQ(GetFileAttributesA(m_programIni.c_str()), INVALID_FILE_ATTRIBUTES);
    });
}

TEST_F(ProgramStart, OnlyAnIniFileMakesANetworkClient) {
    ASSERT_TRUE(WritePrivateProfileStringA("Vespra", "shutdown", "1", m_programIni.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Vespra", "show_startup", "30", m_programIni.c_str()));
    IniFlush(m_programIni);
    RunScheduler([&](HWND dlg) {
        // The Settings button is hidden, the countdown comes from the file.
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, 1005)));
        EXPECT_NE(wt::GetControlText(dlg, IDC_MESSAGE).find("seconds left"), std::string::npos);
        const auto values = RegQuery(kKey);
        for (const char *name : {"version", "status", "restart", "days", "times", "lock", "welcome",
                                 "welcometime", "limit", "amwarn"})
            EXPECT_FALSE(values.count(name)) << name << " was written to the registry";
        ASSERT_TRUE(values.count("curr_useregistry"));
        EXPECT_EQ(values.at("curr_useregistry").data, "0x0");
        EXPECT_FALSE(ValueExists(kRunKey, "Vespra"));
    });
}

} // namespace
