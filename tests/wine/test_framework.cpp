// The dialog framework's Win32 backend on real windows: a dialog from template 102,
// its controls by id, hide and show on top, timers, and thread messages that reach
// PreTranslateMessage while a nested message box runs its own modal loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "framework/app.h"
#include "framework/dialog.h"
#include "resources/resource.h"

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
    std::thread watcher([mainThread] {
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

} // namespace
