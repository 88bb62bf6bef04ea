// vespra.exe as the service host starts it: the real program in a Wine prefix,
// driven from outside through its windows, as a user and the service host see it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/wine/wine_test_support.h"

namespace {

const char kTitle[] = "Vespra";
const char kDialogClass[] = "#32770";
constexpr UINT kStopScheduler = WM_USER + 1;
constexpr DWORD kStartTimeoutMs = 30000;

// The scheduler's dialog, as opposed to a message box with the same caption:
// template 102 has the message text and the startup OK button.
bool IsSchedulerDialog(HWND hwnd) {
    return GetDlgItem(hwnd, IDC_MESSAGE) != nullptr && GetDlgItem(hwnd, IDC_STARTUP_OK) != nullptr;
}

std::vector<HWND> SchedulerDialogs(DWORD pid = 0) {
    std::vector<HWND> result;
    for (HWND hwnd : wt::FindTopLevelWindows(kTitle, kDialogClass, pid))
        if (IsSchedulerDialog(hwnd))
            result.push_back(hwnd);
    return result;
}

// The time 23:00 (the default shut-down time) as the user's locale writes it.
std::string DefaultTimeInLocale() {
    char sep[10] = {}, itime[10] = {}, pm[10] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, sep, sizeof sep);
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ITIME, itime, sizeof itime);
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S2359, pm, sizeof pm);
    if (itime[0] == '1')
        return std::string("23") + sep + "00";
    return std::string("11") + sep + "00" + "\xA0" + (pm[0] ? pm : "PM");
}

// When the default schedule (Sunday to Thursday at 23:00) next shuts down, seen
// from the local time t: tonight while today's time has not passed, else the next
// enabled day.
std::string DefaultNextShutdownPhrase(const SYSTEMTIME &t) {
    static const char *const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    const int today = t.wDayOfWeek;
    const bool todayOn = today <= 4;
    const bool passed = t.wHour == 23 && t.wMinute > 0;
    if (todayOn && !passed)
        return "tonight at ";
    int next = (today + 1) % 7;
    while (next > 4)
        next = (next + 1) % 7;
    return std::string("on ") + kDays[next] + " at ";
}

class SchedulerStart : public ::testing::Test {
protected:
    void SetUp() override {
        // Every test starts from the defaults: no settings, no run-state values.
        ASSERT_TRUE(wt::DeleteSettingsKey());
        ASSERT_TRUE(SchedulerDialogs().empty()) << "a scheduler from an earlier test still runs";
        ASSERT_TRUE(m_folder.Ready());
    }
    void TearDown() override { wt::DeleteSettingsKey(); }

    HWND WaitForSchedulerDialog(const wt::Process &proc) {
        HWND hwnd = wt::WaitForWindow(kTitle, kStartTimeoutMs, kDialogClass, proc.Id());
        return hwnd && IsSchedulerDialog(hwnd) ? hwnd : nullptr;
    }

    wt::SchedulerFolder m_folder;
};

TEST_F(SchedulerStart, ShowsTheStartupCountdownWithTheNextShutdown) {
    SYSTEMTIME before{};
    GetLocalTime(&before);
    wt::Process proc = m_folder.StartAsService();
    ASSERT_TRUE(proc.Valid()) << "CreateProcess failed: " << GetLastError();

    HWND dlg = WaitForSchedulerDialog(proc);
    ASSERT_NE(dlg, nullptr) << "no visible scheduler dialog \"Vespra\" within " << kStartTimeoutMs
                            << " ms";
    const std::string text = wt::GetControlText(dlg, IDC_MESSAGE);
    SYSTEMTIME after{};
    GetLocalTime(&after);

    // Shown on top, as a tool window, while it counts down.
    EXPECT_TRUE(IsWindowVisible(dlg));
    const LONG exStyle = GetWindowLongA(dlg, GWL_EXSTYLE);
    EXPECT_NE(exStyle & WS_EX_TOPMOST, 0);
    EXPECT_NE(exStyle & WS_EX_TOOLWINDOW, 0);

    // "This computer is scheduled to shut down %1.\n\n%2 seconds left to cancel."
    const std::string head = "This computer is scheduled to shut down ";
    const std::string tail = " seconds left to cancel.";
    ASSERT_EQ(text.compare(0, head.size(), head), 0) << text;
    ASSERT_GT(text.size(), head.size() + tail.size()) << text;
    ASSERT_EQ(text.compare(text.size() - tail.size(), tail.size(), tail), 0) << text;

    const size_t gap = text.find(".\n\n", head.size());
    ASSERT_NE(gap, std::string::npos) << text;
    const std::string when = text.substr(head.size(), gap - head.size());
    const std::string seconds = text.substr(gap + 3, text.size() - tail.size() - gap - 3);

    // %1: the next shut-down of the defaults, at 23:00 in the locale's own format
    // (the minute may have turned while the program started).
    const std::string time = DefaultTimeInLocale();
    const std::string early = DefaultNextShutdownPhrase(before) + time;
    const std::string late = DefaultNextShutdownPhrase(after) + time;
    EXPECT_TRUE(when == early || when == late)
        << "got \"" << when << "\", expected \"" << early << "\"";

    // %2: the startup countdown, 10 seconds by default.
    ASSERT_FALSE(seconds.empty()) << text;
    ASSERT_EQ(seconds.find_first_not_of("0123456789"), std::string::npos) << text;
    const int left = std::stoi(seconds);
    EXPECT_GE(left, 1);
    EXPECT_LE(left, 10);
}

TEST_F(SchedulerStart, ASecondStartWhileItRunsIsASecondInstance) {
    wt::Process first = m_folder.StartAsService();
    ASSERT_TRUE(first.Valid());
    HWND dlg = WaitForSchedulerDialog(first);
    ASSERT_NE(dlg, nullptr);

    // The running scheduler holds the single-instance mutex.
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Vespra");
    EXPECT_NE(mutex, nullptr) << "mutex \"Vespra\" not found, error " << GetLastError();
    if (mutex)
        CloseHandle(mutex);

    // Started exactly as the first: if it did not see the mutex it would schedule
    // and show a second countdown.
    wt::Process second = m_folder.StartAsService();
    ASSERT_TRUE(second.Valid());
    // It only answers, with a message box of its own, and ends when it is dismissed.
    HWND box = wt::WaitForWindow(kTitle, kStartTimeoutMs, kDialogClass, second.Id());
    ASSERT_NE(box, nullptr) << "the second instance showed no message";
    EXPECT_FALSE(IsSchedulerDialog(box));
    wt::ClickButton(box, IDOK);
    ASSERT_TRUE(second.WaitForExit(10000)) << "the second instance did not end";

    EXPECT_TRUE(SchedulerDialogs(second.Id()).empty());
    const std::vector<HWND> dialogs = SchedulerDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], dlg);
    EXPECT_TRUE(first.Running()) << "the second start ended the scheduler";
}

TEST_F(SchedulerStart, EndsWhenItsDialogEnds) {
    wt::Process proc = m_folder.StartAsService();
    ASSERT_TRUE(proc.Valid());
    HWND dlg = WaitForSchedulerDialog(proc);
    ASSERT_NE(dlg, nullptr);

    // How the service host stops it: WM_STOP_SCHEDULER to the primary thread,
    // which is inside the dialog's modal loop.
    ASSERT_TRUE(wt::PostThreadMsg(proc.ThreadId(), kStopScheduler));
    ASSERT_TRUE(proc.WaitForExit(10000)) << "vespra.exe still runs 10 s after the stop message";

    EXPECT_EQ(proc.ExitCode(), 0u);
    EXPECT_FALSE(IsWindow(dlg));
    EXPECT_TRUE(SchedulerDialogs().empty());
    // The mutex went with the process: the next start is a first instance again.
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Vespra");
    EXPECT_EQ(mutex, nullptr);
    if (mutex)
        CloseHandle(mutex);
}

} // namespace
