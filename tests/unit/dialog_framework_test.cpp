// The dialog framework as the in-memory backend runs it: dispatch, nested modal
// dialogs and message boxes with scripted answers, timers and data exchange.
#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "tests/unit/scheduler_fixture.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// A dialog on the scheduler's template that exchanges a number with the message text.
class NumberDlg : public CDialog {
public:
    NumberDlg() : CDialog(IDD_VESPRA_DIALOG) {}
    void DoDataExchange(CDataExchange *pDX) override {
        DDX_Text(pDX, IDC_MESSAGE, m_nValue);
        DDV_MinMaxUInt(pDX, m_nValue, 1, 60);
        DDX_Text(pDX, IDC_UNUSED, m_sName);
        DDV_MaxChars(pDX, m_sName, 10);
    }
    void OnTimer(UINT_PTR id) override { ticks.push_back(id); }
    BOOL OnCommand(UINT id, UINT code) override {
        if (id == IDC_SETTINGS) {
            nested = std::make_unique<NumberDlg>();
            nestedResult = nested->DoModal();
            answer = MessageBox("Go on?", "Vespra", MB_YESNO);
            return TRUE;
        }
        return CDialog::OnCommand(id, code);
    }
    UINT m_nValue = 10;
    std::string m_sName = "abc";
    std::vector<UINT_PTR> ticks;
    std::unique_ptr<NumberDlg> nested;
    int nestedResult = 0;
    int answer = 0;
};

class FrameworkTest : public SchedulerTest {};

TEST_F(FrameworkTest, InitialisationFillsControlsFromMembers) {
    NumberDlg dlg;
    EXPECT_TRUE(fake::Open(dlg));
    EXPECT_EQ(dlg.GetDlgItemText(IDC_MESSAGE), "10");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_UNUSED), "abc");
    EXPECT_EQ(fake::Ctl(dlg, IDC_UNUSED).limit, 10);
}

TEST_F(FrameworkTest, OkValidatesRangeAndKeepsTheDialogOpenOnFailure) {
    NumberDlg dlg;
    fake::Open(dlg);
    fake::Type(dlg, IDC_MESSAGE, "75");
    dlg.ShowDlgItem(IDOK, TRUE);
    EXPECT_TRUE(fake::Click(dlg, IDOK));
    EXPECT_FALSE(fake::IsEnded(dlg));
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text, "Please enter an integer between 1 and 60.");
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION));
    EXPECT_EQ(fake::WindowOf(dlg)->focus, IDC_MESSAGE);
    EXPECT_EQ(dlg.m_nValue, 75u); // the value is taken, then refused

    fake::Type(dlg, IDC_MESSAGE, "x1");
    fake::Click(dlg, IDOK);
    EXPECT_EQ(fake::State().boxes.back().text, "Please enter a positive integer.");
    EXPECT_FALSE(fake::IsEnded(dlg));

    fake::Type(dlg, IDC_MESSAGE, " 42 ");
    fake::Click(dlg, IDOK);
    EXPECT_TRUE(fake::IsEnded(dlg));
    EXPECT_EQ(fake::Result(dlg), IDOK);
    EXPECT_EQ(dlg.m_nValue, 42u);
}

TEST_F(FrameworkTest, HiddenOrDisabledButtonsDoNotReact) {
    NumberDlg dlg;
    fake::Open(dlg);
    EXPECT_FALSE(fake::Click(dlg, IDOK)); // hidden in the template
    dlg.EnableDlgItem(IDCANCEL, FALSE);
    EXPECT_FALSE(fake::Click(dlg, IDCANCEL));
    dlg.EnableDlgItem(IDCANCEL, TRUE);
    EXPECT_TRUE(fake::Click(dlg, IDCANCEL));
    EXPECT_EQ(fake::Result(dlg), IDCANCEL);
}

TEST_F(FrameworkTest, NestedModalDialogAndMessageBoxAnswerFromTheScript) {
    NumberDlg dlg;
    fake::Open(dlg);
    fake::RespondToDialog(IDD_VESPRA_DIALOG, [](CDialog &nested) {
        fake::Type(nested, IDC_MESSAGE, "7");
        nested.ShowDlgItem(IDOK, TRUE);
        fake::Click(nested, IDOK);
    });
    fake::AnswerNextMessageBox(IDNO);
    fake::Click(dlg, IDC_SETTINGS);
    EXPECT_EQ(dlg.nestedResult, IDOK);
    EXPECT_EQ(dlg.nested->m_nValue, 7u);
    EXPECT_EQ(dlg.answer, IDNO);
    EXPECT_EQ(fake::State().modalRuns.size(), 2u);
    // An unscripted nested dialog can't stay open inside a modal call.
    fake::Click(dlg, IDC_SETTINGS);
    EXPECT_EQ(dlg.nestedResult, -1);
    EXPECT_EQ(dlg.answer, IDOK);
}

TEST_F(FrameworkTest, TimersTickOnlyWhileRunning) {
    NumberDlg dlg;
    fake::Open(dlg);
    EXPECT_FALSE(fake::FireTimer(dlg, 99));
    EXPECT_EQ(dlg.SetTimer(99, 1000), 99u);
    EXPECT_TRUE(fake::FireTimer(dlg, 99));
    EXPECT_TRUE(dlg.KillTimer(99));
    EXPECT_FALSE(fake::FireTimer(dlg, 99));
    EXPECT_EQ(dlg.ticks, std::vector<UINT_PTR>{99});
}

TEST_F(FrameworkTest, HideAndShowOnTop) {
    NumberDlg dlg;
    fake::Open(dlg);
    dlg.ShowOnTop();
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_TRUE(fake::WindowOf(dlg)->topmost);
    dlg.Hide();
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_FALSE(fake::WindowOf(dlg)->topmost);
    EXPECT_EQ(fake::WindowOf(dlg)->x, 10000);
    EXPECT_EQ(fake::WindowOf(dlg)->y, 10000);
}

TEST_F(FrameworkTest, AfxMessageBoxIsCaptionedAndOwnedByTheMainWindow) {
    CWinApp app;
    NumberDlg dlg;
    fake::Open(dlg);
    AfxMessageBox("first");
    app.m_pMainWnd = &dlg;
    AfxMessageBox("second", MB_ICONERROR);
    ASSERT_EQ(fake::State().boxes.size(), 2u);
    EXPECT_EQ(fake::State().boxes[0].owner, nullptr);
    EXPECT_EQ(fake::State().boxes[0].caption, "Vespra");
    EXPECT_EQ(fake::State().boxes[1].owner, dlg.GetSafeHwnd());
    EXPECT_EQ(fake::State().boxes[1].type, UINT(MB_ICONERROR));
}

// An application that allows no help: the Help command asks it; closing help
// never depends on it.
class NoHelpApp : public CWinApp {
public:
    void WinHelp(DWORD data, UINT cmd) override { asked.emplace_back(data, cmd); }
    std::vector<std::pair<DWORD, UINT>> asked;
};

TEST_F(FrameworkTest, HelpCommandAsksTheApplicationAndQuittingBypassesIt) {
    NoHelpApp app;
    NumberDlg dlg;
    fake::Open(dlg);
    EXPECT_TRUE(dlg.OnCommand(ID_HELP, 0));
    AfxQuitHelp();
    using Call = std::pair<DWORD, UINT>;
    EXPECT_EQ(app.asked, (std::vector<Call>{{0x20000 + IDD_VESPRA_DIALOG, HELP_CONTEXT}}));
    EXPECT_EQ(fake::State().helpCalls, (std::vector<Call>{{0, HELP_QUIT}}));
}

TEST_F(FrameworkTest, ChildrenAreMadePlacedInZOrderAndNotified) {
    NumberDlg dlg;
    fake::Open(dlg);
    HWND a = dlg.CreateChildWindow("X", "a", WS_CHILD, CRect{1, 2, 3, 4}, 7);
    HWND b = dlg.CreateChildWindow("X", "b", WS_CHILD | WS_VISIBLE, CRect{}, 8);
    fake::State().failChildWindows = 1;
    EXPECT_EQ(dlg.CreateChildWindow("X", "c", WS_CHILD, CRect{}, 9), nullptr);
    EXPECT_FALSE(fake::Child(a).visible);
    EXPECT_TRUE(fake::Child(b).visible);
    HWND message = dlg.GetDlgItem(IDC_MESSAGE);
    dlg.PlaceChildBehind(b, nullptr); // to the bottom
    dlg.PlaceChildBehind(a, message);
    const std::vector<HWND> &z = fake::ZOrder(dlg);
    EXPECT_EQ(z.back(), b);
    auto at = std::find(z.begin(), z.end(), message);
    ASSERT_NE(at, z.end());
    EXPECT_EQ(*(at + 1), a);
    EXPECT_EQ(fake::ChildrenOfClass(dlg, "X"), (std::vector<HWND>{a, b}));
    // The default OnNotify leaves a notification unhandled.
    EXPECT_FALSE(fake::SendNotify(dlg, a, DTN_DATETIMECHANGE));
    EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
}

} // namespace
