// Platform family, shut-down privilege, service-process registration and the
// service-control client, against the stand-ins.
#include <gtest/gtest.h>

#include "framework/app.h"
#include "framework/dialog.h"
#include "resources/resource.h"
#include "system/platform.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_ui.h"

namespace {

const DWORD kWin9x = 1; // VER_PLATFORM_WIN32_WINDOWS
const DWORD kNt = 2;    // VER_PLATFORM_WIN32_NT

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { fake::ResetAll(); }
    void TearDown() override {
        fake::ResetPlatform();
        fake::ResetFiles();
    }
};

TEST_F(PlatformTest, IsWindowsNtAsksTheSystemOncePerProcess) {
    fake::Plat().platformId = kNt;
    EXPECT_TRUE(IsWindowsNT());
    // Later answers come from the cache, even when the system would now say otherwise.
    fake::Plat().platformId = kWin9x;
    EXPECT_TRUE(IsWindowsNT());
    EXPECT_TRUE(IsWindowsNT());
    EXPECT_EQ(1, fake::Plat().versionQueries);

    ForgetPlatformFamily();
    EXPECT_FALSE(IsWindowsNT());
    EXPECT_EQ(2, fake::Plat().versionQueries);
}

TEST_F(PlatformTest, FailedVersionQueryMeansNotNtAndIsNotRetried) {
    fake::Plat().versionQueryFails = true;
    EXPECT_FALSE(IsWindowsNT());
    fake::Plat().versionQueryFails = false;
    EXPECT_FALSE(IsWindowsNT());
    EXPECT_EQ(1, fake::Plat().versionQueries);
}

TEST_F(PlatformTest, ShutdownPrivilegeIsEnabledSilently) {
    EnableShutdownPrivilege();
    EXPECT_EQ(std::vector<std::string>{"SeShutdownPrivilege"}, fake::Plat().privilegesEnabled);
    EXPECT_TRUE(fake::State().boxes.empty());
}

TEST_F(PlatformTest, UnopenableTokenShowsMessage33OwnedByTheMainWindow) {
    CWinApp app;
    CDialog main(IDD_VESPRA_DIALOG);
    fake::Open(main);
    app.m_pMainWnd = &main;
    fake::Plat().openTokenFails = true;

    EnableShutdownPrivilege();

    ASSERT_EQ(1u, fake::State().boxes.size());
    const fake::MessageBoxCall &box = fake::State().boxes[0];
    EXPECT_EQ("Internal Error:\n\nOpenProcessToken() failed, can't get shutdown privileges",
              box.text);
    EXPECT_EQ("Vespra", box.caption);
    EXPECT_EQ(UINT(MB_ICONERROR), box.type);
    EXPECT_EQ(main.GetSafeHwnd(), box.owner);
    EXPECT_TRUE(fake::Plat().privilegesEnabled.empty());
}

TEST_F(PlatformTest, ServiceProcessRegistrationOnlyOnWin9x) {
    fake::Plat().platformId = kWin9x;
    RegisterAsServiceProcess(true);
    RegisterAsServiceProcess(false);
    EXPECT_EQ((std::vector<DWORD>{1, 0}), fake::Plat().registerServiceProcessCalls);

    fake::ResetPlatform();
    fake::Plat().platformId = kNt;
    RegisterAsServiceProcess(true);
    RegisterAsServiceProcess(false);
    EXPECT_TRUE(fake::Plat().registerServiceProcessCalls.empty());
}

TEST_F(PlatformTest, InstallerPathIsLowerCasedAndCutAtTheFirstExe) {
    const struct {
        const char *program;
        const char *installer;
    } cases[] = {
        {"c:\\program files\\vespra\\vespra.exe", "c:\\program files\\vespra\\vesprasi.exe"},
        {"D:\\TOOLS\\VESPRA.EXE", "d:\\tools\\vesprasi.exe"},
        {"d:\\my.exe.files\\vespra.exe", "d:\\mysi.exe"},
        {"D:\\Tools\\Vespra.Exe.Old\\x", "d:\\tools\\vesprasi.exe"},
        {"d:\\tools\\vespra", "d:\\tools\\vespra"},
    };
    for (const auto &c : cases) {
        fake::ResetPlatform();
        fake::Files().programPath = c.program;
        UtilServiceControl(Stop);
        ASSERT_EQ(1u, fake::Plat().starts.size()) << c.program;
        EXPECT_EQ(c.installer, fake::Plat().starts[0].application) << c.program;
    }
}

TEST_F(PlatformTest, CommandsMapToTheInstallerSwitches) {
    UtilServiceControl(Stop);
    UtilServiceControl(Start);
    UtilServiceControl(Restart);
    ASSERT_EQ(3u, fake::Plat().starts.size());
    EXPECT_EQ(" /stop", fake::Plat().starts[0].commandLine);
    EXPECT_EQ(" /start", fake::Plat().starts[1].commandLine);
    EXPECT_EQ(" /restart", fake::Plat().starts[2].commandLine);
    EXPECT_TRUE(fake::State().boxes.empty());
}

TEST_F(PlatformTest, BadCommandShowsItsValueWithoutOwnerAndStartsNothing) {
    // A main window exists, yet these messages have no owner.
    CWinApp app;
    CDialog main(IDD_VESPRA_DIALOG);
    fake::Open(main);
    app.m_pMainWnd = &main;

    UtilServiceControl(3);
    UtilServiceControl(-1);

    EXPECT_TRUE(fake::Plat().starts.empty());
    ASSERT_EQ(2u, fake::State().boxes.size());
    EXPECT_EQ("Internal Error:\nUtilServiceControl bad param = 3", fake::State().boxes[0].text);
    EXPECT_EQ("Internal Error:\nUtilServiceControl bad param = -1", fake::State().boxes[1].text);
    for (const fake::MessageBoxCall &box : fake::State().boxes) {
        EXPECT_EQ("Vespra", box.caption);
        EXPECT_EQ(UINT(MB_ICONERROR), box.type);
        EXPECT_EQ(nullptr, box.owner);
    }
}

TEST_F(PlatformTest, FailedStartShowsTheErrorCodeUnsigned) {
    fake::Plat().startFails = true;
    fake::Plat().startError = 2;
    UtilServiceControl(Restart);
    fake::Plat().startError = 0xFFFFFFFFu;
    UtilServiceControl(Start);

    ASSERT_EQ(2u, fake::Plat().starts.size());
    ASSERT_EQ(2u, fake::State().boxes.size());
    EXPECT_EQ("Internal Error:\nCreateProcess failed = 2", fake::State().boxes[0].text);
    EXPECT_EQ("Internal Error:\nCreateProcess failed = 4294967295", fake::State().boxes[1].text);
    EXPECT_EQ("Vespra", fake::State().boxes[0].caption);
    EXPECT_EQ(UINT(MB_ICONERROR), fake::State().boxes[0].type);
    EXPECT_EQ(nullptr, fake::State().boxes[0].owner);
}

} // namespace
