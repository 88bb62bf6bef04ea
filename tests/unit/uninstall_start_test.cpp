// The whole "/uninstall" start as the setup's uninstaller runs it: its exit code is
// the answer, and a start that allows the uninstall has already given back the
// programs an earlier run disabled, so the uninstaller need not.
#include <sys/stat.h>

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/app.h"
#include "scheduler/scheduler.h"
#include "system/registry.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

class UninstallStartTest : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        fake::Plat().platformId = 1; // Windows 95/98/Me, where programs get disabled
        const std::string root = fake::MakeTempDir();
        ASSERT_FALSE(root.empty());
        sys = root + "/system";
        win = root + "/windows";
        ASSERT_EQ(0, mkdir(sys.c_str(), 0700));
        ASSERT_EQ(0, mkdir(win.c_str(), 0700));
        fake::Files().systemDir = sys;
        fake::Files().windowsDir = win;
        // What a scheduler left behind that was ended without restoring them.
        fake::WriteFile(sys + "/vsp32tim.exe", "control panel");
        fake::WriteFile(win + "/vsp32reg.exe", "regedit");
        fake::WriteFile(sys + "/vsp32msc.exe", "msconfig");
    }
    void TearDown() override {
        fake::ResetPlatform();
        fake::ResetFiles();
    }
    int RunUninstallStart() {
        CVespraApp app;
        app.m_lpCmdLine = "/uninstall";
        EXPECT_FALSE(app.InitInstance());
        return app.m_nExitCode;
    }
    bool Restored() {
        return fake::ReadFile(sys + "/timedate.cpl") == "control panel" &&
               fake::ReadFile(win + "/regedit.exe") == "regedit" &&
               fake::ReadFile(sys + "/msconfig.exe") == "msconfig" &&
               !fake::FileThere(sys + "/vsp32tim.exe") && !fake::FileThere(win + "/vsp32reg.exe") &&
               !fake::FileThere(sys + "/vsp32msc.exe");
    }
    std::string sys, win;
};

TEST_F(UninstallStartTest, AllowedStartRestoresDisabledProgramsAndExitsWithZero) {
    EXPECT_EQ(RunUninstallStart(), 0);
    EXPECT_TRUE(Restored());
    EXPECT_TRUE(fake::State().boxes.empty());
    EXPECT_TRUE(fake::State().modalRuns.empty()); // no scheduler was run
}

TEST_F(UninstallStartTest, RefusalsExitWithOne) {
    struct Case {
        bool running;
        const char *password;
        UINT message;
        bool restored; // a running scheduler keeps its programs disabled
    };
    const Case cases[] = {{true, "", IDS_UNINSTALL_ACTIVE, false},
                          {false, "Secret7", IDS_UNINSTALL_PROTECTED, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        SetUp();
        {
            CVespraDlg settings(nullptr, FALSE, FALSE, FALSE);
            settings.m_sPassword = c.password;
            ASSERT_TRUE(settings.WriteRegistry());
        }
        fake::OsState().mutexExists = c.running;
        EXPECT_EQ(RunUninstallStart(), 1);
        ASSERT_EQ(fake::State().boxes.size(), 1u);
        EXPECT_EQ(fake::State().boxes[0].text, LoadStr(c.message));
        EXPECT_EQ(Restored(), c.restored);
        TearDown();
    }
}

} // namespace
