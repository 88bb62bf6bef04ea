// The settings dialog's helpers through the in-memory backend: the password
// dialogs, the timed message, and the advanced, check-times and about dialogs.
#include "framework/app.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "settings/password.h"
#include "tests/unit/scheduler_fixture.h"
#include "ui/password_dlg.h"
#include "ui/sub_dialogs.h"
#include "ui/timed_message_dlg.h"

namespace {

class SmallDialogsTest : public SchedulerTest {
protected:
    const fake::MessageBoxCall &OnlyBox() {
        static const fake::MessageBoxCall none{};
        EXPECT_EQ(fake::State().boxes.size(), 1u);
        return fake::State().boxes.empty() ? none : fake::State().boxes[0];
    }
    using HelpCall = std::pair<DWORD, UINT>;
    CWinApp app; // receives the help commands
};

TEST_F(SmallDialogsTest, TimedMessageClosesAsOkWhenTheTimeRunsOut) {
    CTimedMessageDlg dlg(nullptr, IDS_WRONG_PASSWORD_CANCEL, 20000);
    fake::Open(dlg);
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TIMED_TEXT), "Wrong password; can't cancel.");
    EXPECT_EQ(fake::WindowOf(dlg)->timers.at(IDT_TIMED_MESSAGE), 20000u);
    EXPECT_FALSE(fake::WindowOf(dlg)->topmost);
    EXPECT_TRUE(fake::FireTimer(dlg, IDT_TIMED_MESSAGE));
    EXPECT_EQ(fake::Result(dlg), IDOK);
    fake::Close(dlg);
    EXPECT_FALSE(fake::FireTimer(dlg, IDT_TIMED_MESSAGE));
    EXPECT_EQ(fake::State().helpCalls, (std::vector<HelpCall>{{0, HELP_QUIT}}));
}

TEST_F(SmallDialogsTest, TimedMessageOkEscapeAndTheTextOfIdZero) {
    CTimedMessageDlg ok(nullptr, 0, 100);
    ok.m_sMessage = "said directly";
    fake::Open(ok);
    EXPECT_EQ(ok.GetDlgItemText(IDC_TIMED_TEXT), "said directly");
    fake::Click(ok, IDOK);
    EXPECT_EQ(fake::Result(ok), IDOK);

    CTimedMessageDlg escape(nullptr, 0, 100);
    fake::Open(escape);
    EXPECT_EQ(escape.GetDlgItemText(IDC_TIMED_TEXT), "");
    escape.OnCommand(IDCANCEL, 0); // Escape, which the template has no button for
    EXPECT_EQ(fake::Result(escape), IDCANCEL);
}

TEST_F(SmallDialogsTest, TimersThatCannotStartEndThePromptsAtOnce) {
    fake::State().failTimers = true;
    CTimedMessageDlg timed(nullptr, IDS_WRONG_PASSWORD_CANCEL, 20000);
    fake::Open(timed);
    EXPECT_EQ(OnlyBox().text, "Internal Error:\n\nSetTimer() failed");
    EXPECT_EQ(OnlyBox().type, UINT(MB_ICONHAND));
    EXPECT_EQ(fake::Result(timed), IDOK);

    fake::State().boxes.clear();
    CEnterPasswordDlg prompt(TRUE, nullptr);
    fake::Open(prompt);
    EXPECT_EQ(OnlyBox().caption, "Vespra");
    EXPECT_EQ(fake::Result(prompt), IDOK);
    EXPECT_EQ(prompt.m_sPassword, ""); // which the caller refuses
}

TEST_F(SmallDialogsTest, EnterPasswordForTheSettingsAndForACancel) {
    CEnterPasswordDlg settings(FALSE, nullptr);
    fake::Open(settings);
    EXPECT_TRUE(settings.IsDlgItemVisible(IDC_SETTINGS_PROMPT));
    EXPECT_FALSE(settings.IsDlgItemVisible(IDC_CANCEL_PROMPT));
    // Either prompt closes itself: one left open would hold the schedule up.
    EXPECT_EQ(fake::WindowOf(settings)->timers, (std::map<UINT_PTR, UINT>{{IDT_ENTER_PASSWORD, 30000}}));
    fake::Type(settings, IDC_ENTERED_PASSWORD, "Secret-password-too-long");
    fake::Click(settings, IDOK);
    EXPECT_EQ(settings.m_sPassword, "Secret-pas"); // ten characters fit

    CEnterPasswordDlg cancel(TRUE, nullptr);
    fake::Open(cancel);
    EXPECT_FALSE(cancel.IsDlgItemVisible(IDC_SETTINGS_PROMPT));
    EXPECT_TRUE(cancel.IsDlgItemVisible(IDC_CANCEL_PROMPT));
    EXPECT_EQ(fake::WindowOf(cancel)->timers.at(IDT_ENTER_PASSWORD), 30000u);
    fake::Type(cancel, IDC_ENTERED_PASSWORD, "half typed");
    fake::FireTimer(cancel, IDT_ENTER_PASSWORD); // 30 s without an answer
    EXPECT_EQ(fake::Result(cancel), IDCANCEL);
    EXPECT_EQ(cancel.m_sPassword, "");

    CEnterPasswordDlg cancelled(FALSE, nullptr);
    fake::Open(cancelled);
    fake::Type(cancelled, IDC_ENTERED_PASSWORD, "abc");
    fake::Click(cancelled, IDCANCEL);
    EXPECT_EQ(cancelled.m_sPassword, "");
}

TEST_F(SmallDialogsTest, SetPasswordWithoutOneInForce) {
    CSetPasswordDlg dlg(nullptr);
    fake::Open(dlg);
    EXPECT_FALSE(dlg.IsDlgItemEnabled(IDC_CURRENT_PASSWORD));
    EXPECT_FALSE(dlg.IsDlgItemEnabled(IDC_CURRENT_LABEL));
    EXPECT_EQ(dlg.GetDlgItemText(IDC_PASSWORD_HINT), LoadStr(IDS_PASSWORD_HINT));
    for (int id : {IDC_CURRENT_PASSWORD, IDC_NEW_PASSWORD, IDC_REENTER_PASSWORD})
        EXPECT_EQ(fake::Ctl(dlg, id).limit, 10);
    fake::Click(dlg, IDOK); // both empty: protection stays off
    EXPECT_EQ(fake::Result(dlg), IDOK);
    EXPECT_EQ(dlg.m_sNewPassword, "");
}

// A password of three characters that the stores can't keep exactly.
std::string UnstorablePassword() {
    for (int pos = 0; pos < 3; ++pos)
        for (int byte = 0xF2; byte <= 0xFF; ++byte) {
            std::string p = "abc";
            p[size_t(pos)] = char(byte);
            if (!IsStorablePassword(p))
                return p;
        }
    return std::string();
}

TEST_F(SmallDialogsTest, SetPasswordChecksInOrder) {
    const std::string unstorable = UnstorablePassword();
    ASSERT_FALSE(unstorable.empty());
    const struct {
        const char *current, *typedCurrent, *typedNew, *typedAgain;
        UINT message; // 0: accepted
        int focus;
        bool hashed = false; // the current password known only as its hash record
    } cases[] = {
        {"Abc", "abc", "new1", "new1", IDS_WRONG_CURRENT_PASSWORD, IDC_CURRENT_PASSWORD},
        {"Abc", "Abc", "new1", "New1", IDS_PASSWORDS_DIFFER, IDC_NEW_PASSWORD},
        {"", "", "ab", "ab", IDS_PASSWORD_TOO_SHORT, IDC_NEW_PASSWORD},
        {"", "", unstorable.c_str(), unstorable.c_str(), IDS_PASSWORD_NOT_STORABLE,
         IDC_NEW_PASSWORD},
        {"Abc", "Abc", "", "", 0, 0},       // protection off
        {"Abc", "Abc", "Abc", "Abc", 0, 0}, // the same again
        {"", "", "xyz", "xyz", 0, 0},       // exactly three
        {"Abc", "x", "", "", IDS_WRONG_CURRENT_PASSWORD, IDC_CURRENT_PASSWORD},
        {"Abc", "Abc", "new1", "new1", 0, 0, true},
        {"Abc", "abc", "new1", "new1", IDS_WRONG_CURRENT_PASSWORD, IDC_CURRENT_PASSWORD, true},
    };
    for (const auto &c : cases) {
        fake::Reset();
        CSetPasswordDlg dlg(nullptr);
        dlg.m_currentLock = c.hashed
                                ? PasswordLock::FromStored(PasswordLock(c.current).Record(), "")
                                : PasswordLock(c.current);
        fake::Open(dlg);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_CURRENT_PASSWORD), ""); // never shown
        fake::Type(dlg, IDC_CURRENT_PASSWORD, c.typedCurrent);
        fake::Type(dlg, IDC_NEW_PASSWORD, c.typedNew);
        fake::Type(dlg, IDC_REENTER_PASSWORD, c.typedAgain);
        fake::Click(dlg, IDOK);
        const std::string label = std::string(c.typedNew) + "/" + c.typedAgain;
        if (c.message == 0) {
            EXPECT_EQ(fake::Result(dlg), IDOK) << label;
            EXPECT_EQ(dlg.m_sNewPassword, c.typedNew) << label;
            EXPECT_EQ(dlg.m_sCurrentPassword, c.typedCurrent) << label;
            continue;
        }
        EXPECT_FALSE(fake::IsEnded(dlg)) << label;
        ASSERT_EQ(fake::State().boxes.size(), 1u) << label;
        EXPECT_EQ(fake::State().boxes[0].text, LoadStr(c.message)) << label;
        EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_OK)) << label;
        EXPECT_EQ(fake::State().boxes[0].owner, dlg.GetSafeHwnd()) << label;
        EXPECT_EQ(fake::WindowOf(dlg)->focus, c.focus) << label;
        EXPECT_TRUE(fake::Ctl(dlg, c.focus).selectedAll) << label;
        EXPECT_EQ(dlg.GetDlgItemText(IDC_REENTER_PASSWORD), c.typedAgain) << label;
    }
}

TEST_F(SmallDialogsTest, AdvancedGreysTheWindows9xOptionsOnNt) {
    for (BOOL nt : {TRUE, FALSE}) {
        CAdvancedDlg dlg(nullptr, nt);
        dlg.m_bDisableCpl = TRUE;
        fake::Open(dlg);
        EXPECT_EQ(dlg.IsDlgItemEnabled(IDC_DISABLE_CPL), !nt);
        EXPECT_EQ(dlg.IsDlgItemEnabled(IDC_DISABLE_REGPGMS), !nt);
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_DISABLE_CPL), 1u);
        EXPECT_EQ(fake::Click(dlg, IDC_DISABLE_REGPGMS), !nt);
        fake::Click(dlg, IDC_KILL_DOS);
        fake::Click(dlg, IDOK);
        EXPECT_TRUE(dlg.m_bDisableCpl); // greyed, yet returned as given
        EXPECT_EQ(dlg.m_bDisableRegPgms, !nt);
        EXPECT_TRUE(dlg.m_bKillDosApps);
    }
    CAdvancedDlg cancelled(nullptr, FALSE);
    fake::Open(cancelled);
    fake::Click(cancelled, IDC_KILL_DOS);
    fake::Click(cancelled, IDCANCEL);
    EXPECT_FALSE(cancelled.m_bKillDosApps);
}

TEST_F(SmallDialogsTest, AdvancedHelpOpensItsTopic) {
    CAdvancedDlg dlg(nullptr, TRUE);
    fake::Open(dlg);
    fake::Click(dlg, ID_HELP);
    EXPECT_EQ(fake::State().helpCalls, (std::vector<HelpCall>{{0x20000 + 202, HELP_CONTEXT}}));
}

TEST_F(SmallDialogsTest, CheckTimesBeepsAndStartsUnticked) {
    for (int opening = 0; opening < 2; ++opening) {
        CCheckTimesDlg dlg(nullptr);
        fake::Open(dlg);
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_DONT_SHOW_AGAIN), 0u);
        fake::Click(dlg, IDC_DONT_SHOW_AGAIN);
        fake::Click(dlg, IDOK);
        EXPECT_TRUE(dlg.m_bDontShowAgain);
    }
    ASSERT_EQ(fake::Plat().beeps.size(), 2u);
    EXPECT_TRUE(fake::Plat().beeps[0].messageBeep);
    EXPECT_EQ(fake::Plat().beeps[0].type, UINT(MB_ICONQUESTION));
}

TEST_F(SmallDialogsTest, AboutOpensItsLinksWithTheWaitCursorAndShowsNoFailure) {
    CAboutDlg dlg(nullptr);
    fake::Open(dlg);
    dlg.ShowOnTop();
    fake::State().shellFails = true;
    fake::Click(dlg, IDC_WEB_SITE);
    fake::Click(dlg, IDC_EMAIL);
    const auto &opens = fake::State().shellOpens;
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].file, "c:\\program files\\vespra\\help\\index.html");
    EXPECT_EQ(opens[1].file, "mailto:vespra@example.org?subject=Vespra 4.0 beta 5 feedback");
    EXPECT_EQ(opens[0].waitCursors, 1);
    EXPECT_EQ(fake::State().waitCursors, 0);
    EXPECT_FALSE(fake::WindowOf(dlg)->topmost);
    EXPECT_TRUE(fake::State().boxes.empty());
    EXPECT_FALSE(fake::IsEnded(dlg));
    fake::Close(dlg);
    EXPECT_EQ(fake::State().helpCalls, (std::vector<HelpCall>{{0, HELP_QUIT}}));
}

TEST(LinkTarget, UrlsStayAndRelativePathsGoBesideTheProgram) {
    EXPECT_EQ(LinkTarget("http://x.example/", "c:\\a\\v.exe"), "http://x.example/");
    EXPECT_EQ(LinkTarget("mailto:a@b", "c:\\a\\v.exe"), "mailto:a@b");
    EXPECT_EQ(LinkTarget("help\\index.html", "c:\\a\\v.exe"), "c:\\a\\help\\index.html");
    EXPECT_EQ(LinkTarget("\\\\server\\x.html", "c:\\a\\v.exe"), "\\\\server\\x.html");
    EXPECT_EQ(LinkTarget("help.html", "v.exe"), "help.html");
    EXPECT_EQ(LinkTarget("", "c:\\a\\v.exe"), "");
}

} // namespace
