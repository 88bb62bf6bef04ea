// The scheduler's handlers and side modes in the real program under Wine: Cancel
// at start, a second instance, the uninstall refusal, the function test and a
// log-off, each driven from outside through its windows as a user would.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "tests/wine/wine_test_support.h"

namespace {

const char kKey[] = "SOFTWARE\\Vespra";
const char kTitle[] = "Vespra";
const char kDialogClass[] = "#32770";
const char kScheduled[] = "This computer is scheduled to shut down ";
constexpr UINT kStopScheduler = WM_USER + 1;
constexpr DWORD kWaitMs = 30000;
constexpr int kMessageBoxText = 0xFFFF; // the static text of a message box

std::string ReadString(const char *name) {
    char buffer[512] = {};
    DWORD size = sizeof buffer - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size);
        RegCloseKey(key);
    }
    return buffer;
}

bool IsSchedulerDialog(HWND hwnd) {
    return GetDlgItem(hwnd, IDC_MESSAGE) != nullptr && GetDlgItem(hwnd, IDC_STARTUP_OK) != nullptr;
}

// The real program in a folder of its own with the stand-in installer, so the
// service commands it gives are recorded rather than carried out.
class Handlers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(wt::DeleteSettingsKey());
        ASSERT_TRUE(m_folder.Ready());
        // The defaults with every day's time twelve hours away: no warning or
        // shut-down minute of the schedule falls into a test, whenever it runs.
        CVespraDlg defaults(nullptr, FALSE, FALSE, FALSE);
        const int hour = (CTime::GetCurrentTime().GetHour() + 12) % 24;
        for (int d = 0; d < kDays; ++d) {
            defaults.m_nHour[d] = hour;
            defaults.m_nMinute[d] = 0;
        }
        ASSERT_TRUE(defaults.WriteRegistry());
    }
    void TearDown() override { wt::DeleteSettingsKey(); }

    // As the service host starts it, with the startup dialog up.
    HWND StartService(wt::Process &proc) {
        proc = m_folder.StartAsService();
        if (!proc.Valid())
            return nullptr;
        HWND hwnd = wt::WaitForWindow(kTitle, kWaitMs, kDialogClass, proc.Id());
        // The dialog shows itself from its initialisation; the dialog manager shows it
        // once more when its queue first runs empty. A click before then would be
        // undone by that showing, which no user can be quick enough to see: wait for
        // the countdown's first tick, which comes later.
        wt::WaitUntil(
            [hwnd] {
                return wt::GetControlText(hwnd, IDC_MESSAGE).find("\n9 seconds") !=
                       std::string::npos;
            },
            5000);
        return hwnd && IsSchedulerDialog(hwnd) ? hwnd : nullptr;
    }
    // OK on the startup dialog: it goes hidden and waits.
    static bool EnterWaiting(HWND dlg) {
        return wt::ClickButton(dlg, IDC_STARTUP_OK) &&
               wt::WaitUntil([dlg] { return !IsWindowVisible(dlg); }, 10000);
    }
    static void Stop(wt::Process &proc) {
        ASSERT_TRUE(wt::PostThreadMsg(proc.ThreadId(), kStopScheduler));
        EXPECT_TRUE(proc.WaitForExit(15000)) << "vespra.exe still runs after the stop message";
    }

    wt::SchedulerFolder m_folder;
};

TEST_F(Handlers, CancelInServiceModeStopsTheServiceAndWaitsForTheStopMessage) {
    wt::Process proc;
    HWND dlg = StartService(proc);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(wt::ClickButton(dlg, IDCANCEL));

    EXPECT_TRUE(m_folder.RecordHas("cmdline=[ /stop]\n", 10000)) << m_folder.Record();
    EXPECT_EQ(wt::ReadSettingsDword("already_canceled"), 1u);
    // Hidden and idle, but still there until the service host ends it.
    Sleep(1500);
    EXPECT_TRUE(IsWindow(dlg));
    EXPECT_FALSE(IsWindowVisible(dlg));
    EXPECT_TRUE(proc.Running());
    Stop(proc);
    EXPECT_FALSE(IsWindow(dlg));
}

TEST_F(Handlers, ASecondInstanceNamesTheRunningSchedulersTime) {
    wt::Process first;
    HWND dlg = StartService(first);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(EnterWaiting(dlg));
    const std::string when = ReadString("curr_shutdowntime");
    ASSERT_FALSE(when.empty());

    // A plain start: with the mutex held it is a second instance, not a hand-over.
    wt::Process second = m_folder.Start("");
    ASSERT_TRUE(second.Valid());
    HWND box = wt::WaitForWindow(kTitle, kWaitMs, kDialogClass, second.Id());
    ASSERT_NE(box, nullptr) << "the second instance showed no message";
    EXPECT_FALSE(IsSchedulerDialog(box));
    EXPECT_EQ(wt::GetControlText(box, kMessageBoxText), kScheduled + when + ".");
    wt::ClickButton(box, IDOK);
    EXPECT_TRUE(second.WaitForExit(10000)) << "the second instance did not end";
    EXPECT_TRUE(first.Running()) << "the second start ended the scheduler";
    Stop(first);
}

TEST_F(Handlers, UninstallWithAPasswordKillsTheUninstallerBeforeRefusing) {
    {
        CVespraDlg settings(nullptr, FALSE, FALSE, FALSE);
        settings.m_sPassword = "Secret1";
        ASSERT_TRUE(settings.WriteRegistry());
    }
    const std::string unins = m_folder / "unins000.exe";
    ASSERT_TRUE(CopyFileA(wt::ToolPath("sleeper_tool.exe").c_str(), unins.c_str(), FALSE));
    const std::string event = "VespraHandlersUnins" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
    ASSERT_NE(ready, nullptr);
    wt::Process uninstaller = wt::StartProcess(unins, "\"" + unins + "\" " + event);
    const DWORD waited = WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
    ASSERT_TRUE(uninstaller.Valid());
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "unins000.exe did not start";

    wt::Process proc = m_folder.Start(" /uninstall");
    ASSERT_TRUE(proc.Valid());
    HWND box = wt::WaitForWindow(kTitle, kWaitMs, kDialogClass, proc.Id());
    ASSERT_NE(box, nullptr) << "no refusal shown";
    // Already dead when the box is up, and terminated (the sleeper itself exits with 3).
    EXPECT_TRUE(uninstaller.WaitForExit(0)) << "unins000.exe still runs behind the message";
    EXPECT_EQ(uninstaller.ExitCode(), 0u);
    EXPECT_EQ(wt::GetControlText(box, kMessageBoxText),
              "Can't uninstall while Vespra is password protected.");
    wt::ClickButton(box, IDOK);
    ASSERT_TRUE(proc.WaitForExit(10000));
    EXPECT_EQ(proc.ExitCode(), 1u) << "a refusal must also show in the exit code";
}

TEST_F(Handlers, FunctionTestShowsThePlatformAndStoresTheBoxesOnClose) {
    ASSERT_TRUE(wt::WriteSettingsDword("beep", 1));
    ASSERT_TRUE(wt::WriteSettingsDword("logfile", 0));
    wt::Process proc = m_folder.Start(" /test");
    ASSERT_TRUE(proc.Valid());
    HWND dlg = wt::WaitForWindow("Vespra Function Test", kWaitMs, kDialogClass, proc.Id());
    ASSERT_NE(dlg, nullptr);

    EXPECT_EQ(wt::GetControlText(dlg, IDC_TEST_PLATFORM), "Windows NT/2000/XP");
    for (int id : {IDC_TEST_ENABLE_CPL, IDC_TEST_DISABLE_CPL, IDC_TEST_ENABLE_REGPGMS,
                   IDC_TEST_DISABLE_REGPGMS}) {
        ASSERT_NE(GetDlgItem(dlg, id), nullptr) << id;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, id))) << id;
    }
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dlg, IDC_TEST_KILL_DOS)));
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_TEST_BEEP, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_TEST_LOGFILE, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(GetDlgItem(dlg, IDC_TEST_LOGFILE), BM_CLICK, 0, 0,
                                    SMTO_ABORTIFHUNG, 5000, &result));
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_TEST_LOGFILE, BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_TRUE(wt::ClickButton(dlg, IDOK)); // Close; never a shut-down button here
    ASSERT_TRUE(proc.WaitForExit(10000));
    EXPECT_EQ(wt::ReadSettingsDword("logfile"), 1u);
    EXPECT_EQ(wt::ReadSettingsDword("beep"), 1u);
}

TEST_F(Handlers, LogoffWhileWaitingHidesAndNamesTheScheduledTime) {
    wt::Process proc;
    HWND dlg = StartService(proc);
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(EnterWaiting(dlg));
    // Something else in the message, so the log-off is seen to set it again.
    SetDlgItemTextA(dlg, IDC_MESSAGE, "before the log-off");

    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(dlg, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                    5000, &result));
    // Read at once: the next log-on (the test's own session) may soon bring the
    // startup countdown back.
    const bool visible = IsWindowVisible(dlg);
    const std::string text = wt::GetControlText(dlg, IDC_MESSAGE);
    EXPECT_FALSE(visible);
    const std::string when = ReadString("curr_shutdowntime");
    ASSERT_FALSE(when.empty());
    EXPECT_EQ(text, kScheduled + when + ".");
    // With registry settings it outlives the session.
    Sleep(1500);
    EXPECT_TRUE(proc.Running());
    EXPECT_TRUE(IsWindow(dlg));
    Stop(proc);
}

} // namespace
