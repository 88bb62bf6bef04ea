// The log-on probe and the Sharing-dialog closer through the real input desktop
// and window calls. The windows belong to a helper program, as the real warning
// belongs to the system.
#include <gtest/gtest.h>

#include <string>

#include "system/desktop_calls.h"
#include "system/logon.h"
#include "system/sharing.h"

#include "tests/wine/wine_test_support.h"

namespace {

const DWORD kWaitMs = 10000;

TEST(Logon, WinesInputDesktopIsDefaultSoAUserIsLoggedOn) {
    std::string name;
    ASSERT_TRUE(ReadInputDesktopName(name));
    EXPECT_EQ("Default", name);
    EXPECT_TRUE(IsUserLoggedOn());
}

class SharingDialog : public ::testing::Test {
protected:
    // Starts the helper in a mode and waits for its window.
    HWND Show(const char *mode, const char *className) {
        const std::string tool = wt::ToolPath("sharing_dialog_tool.exe");
        m_proc = wt::StartProcess(tool, "\"" + tool + "\" " + mode);
        if (!m_proc.Valid())
            return nullptr;
        return wt::WaitForWindow("Sharing", kWaitMs, className, m_proc.Id());
    }
    wt::Process m_proc;
};

TEST_F(SharingDialog, YesIsClicked) {
    HWND dialog = Show("yes", "#32770");
    ASSERT_NE(nullptr, dialog);
    HWND yes = FindChildWindowById(dialog, IDYES);
    ASSERT_NE(nullptr, yes);
    EXPECT_EQ(IDYES, GetDlgCtrlID(yes));
    EXPECT_EQ(nullptr, FindChildWindowById(dialog, 999));

    EXPECT_TRUE(CloseSharingDialog());
    ASSERT_TRUE(m_proc.WaitForExit(kWaitMs));
    EXPECT_EQ(DWORD(IDYES), m_proc.ExitCode()) << "the helper saw no click of Yes";
    EXPECT_FALSE(CloseSharingDialog()) << "nothing is left to answer";
}

TEST_F(SharingDialog, DialogWithoutYesIsLeftAlone) {
    HWND dialog = Show("nobutton", "#32770");
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(CloseSharingDialog());
    EXPECT_FALSE(m_proc.WaitForExit(500));
    EXPECT_TRUE(IsWindow(dialog));
}

TEST_F(SharingDialog, WindowOfAnotherClassIsNotConsidered) {
    HWND wnd = Show("notdialog", "VespraNotADialog");
    ASSERT_NE(nullptr, wnd);
    // Its Yes button sits one level down, and the search finds it there.
    HWND yes = FindChildWindowById(wnd, IDYES);
    ASSERT_NE(nullptr, yes);
    EXPECT_NE(wnd, GetParent(yes));

    EXPECT_FALSE(CloseSharingDialog());
    EXPECT_FALSE(m_proc.WaitForExit(500)) << "its button was clicked";
    // The helper does notice a click, so the one above was really not made.
    SendMessageA(yes, BM_CLICK, 0, 0);
    ASSERT_TRUE(m_proc.WaitForExit(kWaitMs));
    EXPECT_EQ(DWORD(IDYES), m_proc.ExitCode());
}

} // namespace
