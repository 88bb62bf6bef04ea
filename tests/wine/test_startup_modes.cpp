// The start-up modes of the real program under Wine (an NT-family system): a plain
// start hands over to the service, a log-on start after a cancel quits, a network
// client schedules itself, and the single-instance mutexes carry their descriptor.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <windows.h>

#include <string>

#include "security/permissions.h"
#include "tests/wine/wine_test_support.h"

namespace {

class StartupModes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(wt::DeleteSettingsKey());
        ASSERT_TRUE(m_folder.Ready());
    }
    void TearDown() override { wt::DeleteSettingsKey(); }

    wt::SchedulerFolder m_folder;
};

TEST_F(StartupModes, PlainStartHandsOverToTheService) {
    wt::Process proc = m_folder.Start("");
    ASSERT_TRUE(proc.Valid());
    EXPECT_TRUE(proc.WaitForExit(15000));
    EXPECT_TRUE(m_folder.RecordHas("cmdline=[ /start]", 10000)) << m_folder.Record();
    EXPECT_EQ(wt::ReadSettingsDword("already_canceled"), 0u);
}

TEST_F(StartupModes, LogonStartAfterACancelQuitsOnceThenAsksOnlyAStartableService) {
    ASSERT_TRUE(wt::WriteSettingsDword("already_canceled", 1));
    wt::Process first = m_folder.Start(" /logon");
    ASSERT_TRUE(first.Valid());
    EXPECT_TRUE(first.WaitForExit(15000));
    EXPECT_EQ(wt::ReadSettingsDword("already_canceled"), 0u);
    EXPECT_FALSE(m_folder.RecordHas("module=", 1000)) << m_folder.Record();

    // The second start clears the record: a late one of the first can't stand in for it.
    // A log-on start hands over only to a service it can start; here none is installed,
    // so it leaves the installer alone rather than have it show an error.
    wt::Process second = m_folder.Start(" /LOGON");
    ASSERT_TRUE(second.Valid());
    EXPECT_TRUE(second.WaitForExit(15000));
    EXPECT_FALSE(m_folder.RecordHas("module=", 2000)) << m_folder.Record();
}

TEST_F(StartupModes, NetworkClientSchedulesItself) {
    const std::string ini = m_folder / "vespra.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("Vespra", "shutdown", "1", ini.c_str()));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
    wt::Process proc = m_folder.Start("");
    ASSERT_TRUE(proc.Valid());
    HWND dlg = wt::WaitForWindow("Vespra", 30000, "#32770", proc.Id());
    ASSERT_NE(dlg, nullptr);
    EXPECT_NE(wt::GetControlText(dlg, 1001).find("seconds left to cancel."), std::string::npos);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, 1005)));
    EXPECT_EQ(m_folder.Record(), "");
    ASSERT_TRUE(wt::PostThreadMsg(proc.ThreadId(), WM_USER + 1));
    EXPECT_TRUE(proc.WaitForExit(15000));
    // Not started by the service: nothing to stop.
    EXPECT_FALSE(m_folder.RecordHas("module=", 1000)) << m_folder.Record();
}

// Both names carry the descriptor that lets everyone see them and no user own them.
TEST_F(StartupModes, MutexesCarryTheirDescriptor) {
    wt::Process proc = m_folder.Start(" /service");
    ASSERT_TRUE(proc.Valid());
    ASSERT_NE(wt::WaitForWindow("Vespra", 30000, "#32770", proc.Id()), nullptr);
    for (const char *name : {"Vespra", "Global\\Vespra"}) {
        HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, name);
        ASSERT_NE(mutex, nullptr) << name << " " << GetLastError();
        EXPECT_EQ(wt::SddlOf(kInstanceMutexSddl), wt::StoredSddl(mutex)) << name;
        CloseHandle(mutex);
    }
    ASSERT_TRUE(wt::PostThreadMsg(proc.ThreadId(), WM_USER + 1));
    EXPECT_TRUE(proc.WaitForExit(15000));
}

// The time format comes from the user's locale settings: with a 24-hour clock and
// another separator chosen in the control panel, the next shut-down reads so.
TEST_F(StartupModes, UsersTimeFormatShapesTheText) {
    auto get = [](LCTYPE item) {
        char buf[80] = {};
        GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buf, sizeof buf);
        return std::string(buf);
    };
    const std::string oldFormat = get(LOCALE_STIMEFORMAT), oldSep = get(LOCALE_STIME);
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, "HH.mm.ss"));
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, "."));

    wt::Process proc = m_folder.Start(" /service");
    HWND dlg = wt::WaitForWindow("Vespra", 30000, "#32770", proc.Id());
    const std::string text = dlg ? wt::GetControlText(dlg, 1001) : std::string();
    if (dlg)
        wt::PostThreadMsg(proc.ThreadId(), WM_USER + 1);
    proc.WaitForExit(15000);

    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, oldFormat.c_str());
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, oldSep.c_str());

    ASSERT_NE(dlg, nullptr);
    EXPECT_NE(text.find(" at 23.00.\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('\xA0'), std::string::npos) << text;
}

} // namespace
