// The log-on probe against the input-desktop and process-table stand-ins, and the
// Sharing-dialog closer against scripted top-level windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/logon.h"
#include "system/sharing.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_os.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_processes.h"
#include "tests/support/fake_ui.h"
#include "tests/support/fake_windows.h"

namespace {

class LogonTest : public ::testing::Test {
protected:
    void SetUp() override { fake::ResetAll(); }
    void TearDown() override { fake::ResetAll(); }
};

TEST_F(LogonTest, NtLooksForDefaultInTheInputDesktopsName) {
    const struct {
        const char *desktop;
        bool loggedOn;
    } rows[] = {
        {"Default", true},   {"WinSta0\\Default", true}, {"DEFAULT", true}, {"MyDefaultDesk", true},
        {"Winlogon", false}, {"Screen-saver", false},    {"", false},       {"Defaul", false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.desktop);
        fake::ResetAll();
        fake::OsState().inputDesktop = r.desktop;
        EXPECT_EQ(r.loggedOn, IsUserLoggedOn());
        EXPECT_EQ(1, fake::OsState().inputDesktopReads);
        EXPECT_TRUE(fake::Procs().loads.empty()); // no process walk on NT
    }
}

TEST_F(LogonTest, NtDesktopFailuresMeanNobodyLoggedOn) {
    fake::OsState().inputDesktopFails = true;
    EXPECT_FALSE(IsUserLoggedOn());
    // A name that does not fit the 260-character buffer can't be read.
    fake::ResetAll();
    fake::OsState().inputDesktop = std::string(300, 'x') + "Default";
    EXPECT_FALSE(IsUserLoggedOn());
    EXPECT_TRUE(fake::State().boxes.empty());
}

TEST_F(LogonTest, Windows9xFollowsSystrayInAnyFolderAndCase) {
    const struct {
        const char *exePath; // nullptr: no such process
        bool loggedOn;
    } rows[] = {
        {"C:\\WINDOWS\\SYSTEM\\SYSTRAY.EXE", true},
        {"D:\\Win98\\system\\systray.exe", true},
        {"C:\\WINDOWS\\SYSTEM\\SysTray.Exe", true},
        {"C:\\WINDOWS\\SYSTEM\\SYSTRAY.EXE.OLD", false},
        {nullptr, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.exePath ? r.exePath : "(none)");
        fake::ResetAll();
        fake::Plat().platformId = 1;
        fake::AddProcess(10, "C:\\WINDOWS\\EXPLORER.EXE");
        if (r.exePath)
            fake::AddProcess(11, r.exePath);
        EXPECT_EQ(r.loggedOn, IsUserLoggedOn());
        EXPECT_EQ(0, fake::OsState().inputDesktopReads);
        EXPECT_TRUE(fake::Procs().terminatedPids.empty());
    }
}

TEST_F(LogonTest, Windows9xFailuresAreSilentAndMeanNobodyLoggedOn) {
    for (const char *missing : {"KERNEL32.DLL", "Process32First"}) {
        SCOPED_TRACE(missing);
        fake::ResetAll();
        fake::Plat().platformId = 1;
        fake::AddProcess(10, "C:\\WINDOWS\\SYSTEM\\SYSTRAY.EXE");
        fake::Procs().missingLibraries.insert(missing);
        fake::Procs().missingFunctions.insert(missing);
        EXPECT_FALSE(IsUserLoggedOn());
        // Asked on every tick: a message box here would pile up.
        EXPECT_TRUE(fake::State().boxes.empty());
        EXPECT_EQ(0, fake::Procs().liveLibraries);
    }
}

TEST_F(LogonTest, SharingDialogIsActivatedThenItsYesButtonClicked) {
    const struct {
        const char *name;
        std::vector<fake::TopWindow> windows;
        bool clicked;
        std::vector<std::string> calls;
    } rows[] = {
        {"dialog with Yes among other buttons",
         {{"#32770", "Sharing", {1, 2, 6, 7}}},
         true,
         {"SetActiveWindow w0", "BM_CLICK w0 c2"}},
        {"first child of id 6 only",
         {{"#32770", "Sharing", {6, 6}}},
         true,
         {"SetActiveWindow w0", "BM_CLICK w0 c0"}},
        {"no child of id 6", {{"#32770", "Sharing", {1, 7}}}, false, {}},
        {"no window at all", {}, false, {}},
        {"another class titled Sharing", {{"Notepad", "Sharing", {6}}}, false, {}},
        {"a dialog of another title", {{"#32770", "Sharing options", {6}}}, false, {}},
        {"the dialog behind another window titled Sharing",
         {{"Notepad", "Sharing", {6}}, {"#32770", "Warning", {6}}, {"#32770", "Sharing", {7, 6}}},
         true,
         {"SetActiveWindow w2", "BM_CLICK w2 c1"}},
        {"of two Sharing dialogs the one found first",
         {{"#32770", "Sharing", {6}}, {"#32770", "Sharing", {6}}},
         true,
         {"SetActiveWindow w0", "BM_CLICK w0 c0"}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        fake::ResetAll();
        fake::Windows().windows = r.windows;
        EXPECT_EQ(r.clicked, CloseSharingDialog());
        EXPECT_EQ(r.calls, fake::Windows().calls);
        EXPECT_TRUE(fake::State().boxes.empty());
    }
}

} // namespace
