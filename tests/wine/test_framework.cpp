// The dialog framework's Win32 backend on real windows: a dialog from template 102,
// its controls by id, hide and show on top, timers, and thread messages that reach
// PreTranslateMessage while a nested message box runs its own modal loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "framework/app.h"
#include "framework/clock.h"
#include "framework/dialog.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "tests/wine/wine_test_support.h"

namespace {

constexpr UINT kStop = WM_USER + 1;
const char kBoxCaption[] = "Nested box";

// Checks the backend from inside the running dialog, then opens a message box; a
// watcher thread posts the stop message to this thread while the box is up.
class ProbeDlg : public CDialog {
public:
    ProbeDlg() : CDialog(IDD_VESPRA_DIALOG) {}

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetDlgItemText(IDC_MESSAGE, "line one\n\nline two");
        text = GetDlgItemText(IDC_MESSAGE);
        MoveDlgItem(IDC_SETTINGS, GetDlgItemRect(IDOK));
        movedOnto = GetDlgItemRect(IDC_SETTINGS) == GetDlgItemRect(IDOK);
        okHiddenAtFirst = !IsDlgItemVisible(IDOK);
        ShowDlgItem(IDOK, TRUE);
        EnableDlgItem(IDCANCEL, FALSE);
        okShown = IsDlgItemVisible(IDOK) && !IsDlgItemEnabled(IDCANCEL);

        Hide();
        RECT r = {};
        GetWindowRect(GetSafeHwnd(), &r);
        hiddenOffScreen = r.left == 10000 && r.top == 10000 && !IsWindowVisible();
        ShowOnTop();
        shownOnTop =
            IsWindowVisible() && (GetWindowLongA(GetSafeHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        timerStarted = SetTimer(99, 20) == 99;
        return TRUE;
    }

    void OnTimer(UINT_PTR id) override {
        KillTimer(id);
        ++ticks;
        boxOpen = true;
        boxResult = MessageBox("A message box with its own modal loop", kBoxCaption, MB_OK);
        boxOpen = false;
    }

    std::string text;
    bool movedOnto = false, okHiddenAtFirst = false, okShown = false;
    bool hiddenOffScreen = false, shownOnTop = false, timerStarted = false;
    int ticks = 0;
    bool boxOpen = false;
    int boxResult = 0;
};

class ProbeApp : public CWinApp {
public:
    BOOL InitInstance() override {
        result = dlg.DoModal();
        return FALSE;
    }
    BOOL PreTranslateMessage(MSG *msg) override {
        if (msg->message == kStop && msg->hwnd == nullptr) {
            seenWhileBoxOpen = dlg.boxOpen;
            ++stops;
            dlg.EndDialog(IDOK);
            return TRUE;
        }
        return CWinApp::PreTranslateMessage(msg);
    }
    ProbeDlg dlg;
    int result = 0;
    int stops = 0;
    bool seenWhileBoxOpen = false;
};

TEST(Framework, RealDialogAndThreadMessagesInNestedLoops) {
    const DWORD mainThread = GetCurrentThreadId();
    wt::Thread watcher([mainThread] {
        HWND box = nullptr;
        for (int i = 0; i < 300 && !box; ++i) {
            Sleep(50);
            box = FindWindowA("#32770", kBoxCaption);
        }
        if (!box)
            return;
        PostThreadMessageA(mainThread, kStop, 0, 0);
        Sleep(300);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    ProbeApp app;
    AfxWinMain();
    watcher.join();

    const ProbeDlg &d = app.dlg;
    EXPECT_EQ(d.text, "line one\n\nline two");
    EXPECT_TRUE(d.movedOnto);
    EXPECT_TRUE(d.okHiddenAtFirst);
    EXPECT_TRUE(d.okShown);
    EXPECT_TRUE(d.hiddenOffScreen);
    EXPECT_TRUE(d.shownOnTop);
    EXPECT_TRUE(d.timerStarted);
    EXPECT_EQ(d.ticks, 1);
    EXPECT_EQ(d.boxResult, IDOK);
    EXPECT_EQ(app.stops, 1);
    EXPECT_TRUE(app.seenWhileBoxOpen); // the hook saw it inside the message box's loop
    EXPECT_EQ(app.result, IDOK);
    EXPECT_EQ(d.GetSafeHwnd(), nullptr);
}

// The pieces the settings dialogs add, on a real dialog from template 135: child
// windows and their Z order, the picker's format and time, the WM_NOTIFY result,
// edit selection, the wait cursor and leaving the topmost band.
class ChildProbeDlg : public CDialog {
public:
    ChildProbeDlg() : CDialog(IDD_SET_PASSWORD) {}

    BOOL OnInitDialog() override {
        SetDlgItemText(IDC_NEW_PASSWORD, "abcdef");
        SelectAllText(IDC_NEW_PASSWORD);
        DWORD from = 1, to = 0;
        SendDlgItemMessageA(GetSafeHwnd(), IDC_NEW_PASSWORD, EM_GETSEL,
                            reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
        selectedAll = from == 0 && to == 6;

        InitDateTimeControls();
        HWND edit = GetDlgItem(IDC_NEW_PASSWORD);
        picker = CreateChildWindow("SysDateTimePick32", "DateTime",
                                   WS_CHILD | WS_VISIBLE | WS_BORDER | DTS_TIMEFORMAT,
                                   GetDlgItemRect(IDC_REENTER_PASSWORD), 5);
        if (picker) {
            SetPickerFormat(picker, "H'h'mm");
            SYSTEMTIME t = {1990, 1, 1, 1, 7, 5, 1, 1};
            SetPickerTime(picker, t);
            char text[32] = {};
            SendMessageA(picker, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
            pickerText = text;
            PlaceChildBehind(picker, edit);
            behindEdit = ::GetWindow(edit, GW_HWNDNEXT) == picker;
            PlaceChildBehind(picker, nullptr);
            atBottom = ::GetWindow(picker, GW_HWNDLAST) == picker;
        }
        NMHDR nm = {picker, 5, 1234};
        notifyResult = SendMessageA(GetSafeHwnd(), WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&nm));

        HCURSOR before = GetCursor();
        {
            CWaitCursor wait;
            waitShown = GetCursor() == LoadCursorA(nullptr, MAKEINTRESOURCEA(32514));
        }
        cursorBack = GetCursor() == before;

        ShowOnTop();
        SetNotTopmost();
        BringToTop();
        leftTopmost = (GetWindowLongA(GetSafeHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) == 0;
        EndDialog(IDOK);
        return TRUE;
    }
    BOOL OnNotify(WPARAM, LPARAM lParam, LRESULT *pResult) override {
        if (reinterpret_cast<const NMHDR *>(lParam)->code != 1234)
            return FALSE;
        *pResult = 42;
        return TRUE;
    }

    HWND picker = nullptr;
    std::string pickerText;
    bool selectedAll = false, behindEdit = false, atBottom = false;
    bool waitShown = false, cursorBack = false, leftTopmost = false;
    LRESULT notifyResult = 0;
};

TEST(Framework, ChildWindowsPickersNotifyResultsAndZOrder) {
    ChildProbeDlg d;
    EXPECT_EQ(d.DoModal(), IDOK);
    EXPECT_TRUE(d.selectedAll);
    ASSERT_NE(d.picker, nullptr);
    EXPECT_EQ(d.pickerText, "7h05");
    EXPECT_TRUE(d.behindEdit);
    EXPECT_TRUE(d.atBottom);
    EXPECT_EQ(d.notifyResult, 42); // through DWLP_MSGRESULT
    EXPECT_TRUE(d.waitShown);
    EXPECT_TRUE(d.cursorBack);
    EXPECT_TRUE(d.leftTopmost);
}

} // namespace

// The counter that tells a sleep from a clock change is the system's own, and runs
// with the clock while the machine is awake.
TEST(Framework, TheRealTimeCounterRunsWithTheClock) {
    const uint64_t counter = MonotonicMs();
    const time_t clock = ClockNow();
    Sleep(2100);
    const int64_t counted = int64_t(MonotonicMs() - counter);
    EXPECT_GE(counted, 2000);
    EXPECT_LT(counted, 4000);
    EXPECT_LE(std::llabs(int64_t(ClockNow() - clock) * 1000 - counted), 1500);
    // Where the system has the 64-bit count, that is the one read.
    using Tick64 = ULONGLONG(WINAPI *)();
    const auto tick64 = reinterpret_cast<Tick64>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
    ASSERT_NE(tick64, nullptr);
    EXPECT_LE(std::llabs(int64_t(tick64() - MonotonicMs())), 100);
    // Awake all along: the awake counter saw the same time pass.
    uint64_t awake0 = 0, awake1 = 0;
    ASSERT_TRUE(AwakeMs(awake0));
    Sleep(1100);
    ASSERT_TRUE(AwakeMs(awake1));
    EXPECT_GE(int64_t(awake1 - awake0), 1000);
    EXPECT_LT(int64_t(awake1 - awake0), 3000);
}

// Under a time limit a real message box, left alone, ends by itself with the answer
// that changes nothing.
TEST(Framework, AMessageBoxUnderATimeLimitEndsByItself) {
    SetMessageBoxTimeLimit(1500);
    const struct {
        UINT type;
        int answer;
    } cases[] = {{MB_ICONHAND, IDOK}, {MB_OKCANCEL | MB_ICONINFORMATION, IDCANCEL}, {MB_YESNO, IDNO}};
    for (const auto &c : cases) {
        const uint64_t shown = MonotonicMs();
        EXPECT_EQ(c.answer, PlatformMessageBox(nullptr, "Wrong password; can't access settings.",
                                               "Vespra", c.type));
        const uint64_t took = MonotonicMs() - shown;
        EXPECT_GE(took, 1400u);
        EXPECT_LT(took, 20000u);
    }
    SetMessageBoxTimeLimit(0);
}

// Formatting goes through msvcrt's _vsnprintf: its conversions, and a text longer
// than the first buffer.
TEST(Framework, FormatsThroughTheSystemCLibrary) {
    EXPECT_EQ("7:05 0a 4000000000 -3 x", StrFormat("%u:%02u %02x %lu %d %s", 7u, 5u, 10u,
                                                   4000000000ul, -3, "x"));
    const std::string longer(700, 'y');
    EXPECT_EQ(longer + "|" + longer, StrFormat("%s|%s", longer.c_str(), longer.c_str()));
}

// vespra.exe's own guard of function-local statics, library errors and (x64) thread
// calls, on eight threads: one initialisation, every error caught, and an
// initialiser that throws tried again.
TEST(Framework, TheSchedulersRuntimePiecesHoldAcrossThreads) {
    DWORD code = STILL_ACTIVE;
    const std::string out = wt::RunAndCapture("\"" + wt::ToolPath("lean_runtime_tool.exe") + "\"",
                                              60000, &code);
    EXPECT_EQ(0u, code);
    EXPECT_NE(std::string::npos, out.find("inits 1 caught 16 retries 2 value 7")) << out;
}
