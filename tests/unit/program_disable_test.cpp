// Disabling and restoring programs by renaming their files, on real files in
// temporary Windows and system folders.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"
#include "system/program_disable.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_ui.h"

namespace {

class ProgramDisableTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::ResetAll();
        fake::Plat().platformId = 1; // Windows 95/98/Me
        const std::string root = fake::MakeTempDir();
        ASSERT_FALSE(root.empty());
        sys = root + "/system";
        win = root + "/windows";
        ASSERT_EQ(0, mkdir(sys.c_str(), 0700));
        ASSERT_EQ(0, mkdir(win.c_str(), 0700));
        fake::Files().systemDir = sys;
        fake::Files().windowsDir = win;
    }
    void TearDown() override {
        fake::ResetPlatform();
        fake::ResetFiles();
    }
    bool There(const std::string &path) { return fake::FileThere(path); }
    std::string Read(const std::string &path) { return fake::ReadFile(path); }
    int Count(const std::string &op) {
        int n = 0;
        for (const fake::FileCall &c : fake::Files().calls)
            n += c.op == op;
        return n;
    }

    std::string sys, win;
};

TEST_F(ProgramDisableTest, DecisionTable) {
    struct Row {
        bool enable, normal, disabled;
        // Afterwards: contents under each name, "" for no file.
        const char *normalAfter, *disabledAfter;
        int deletes, moves;
    };
    const Row rows[] = {
        {true, true, true, "N", "", 1, 0},   {true, true, false, "N", "", 0, 0},
        {true, false, true, "D", "", 0, 1},  {true, false, false, "", "", 0, 0},
        {false, true, true, "", "D", 1, 0},  {false, true, false, "", "N", 0, 1},
        {false, false, true, "", "D", 0, 0}, {false, false, false, "", "", 0, 0},
    };
    const std::string normal = sys + "/timedate.cpl", disabled = sys + "/vsp32tim.exe";
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << (r.enable ? "enable" : "disable") << " normal "
                                        << r.normal << " disabled " << r.disabled);
        remove(normal.c_str());
        remove(disabled.c_str());
        if (r.normal)
            fake::WriteFile(normal, "N");
        if (r.disabled)
            fake::WriteFile(disabled, "D");
        fake::Files().calls.clear();

        EnableProgramFile(r.enable, SystemDirectory, IDS_TIMEDATE_CPL, IDS_TIMEDATE_DISABLED);

        EXPECT_EQ(*r.normalAfter != 0, There(normal));
        EXPECT_EQ(*r.disabledAfter != 0, There(disabled));
        if (*r.normalAfter) {
            EXPECT_EQ(r.normalAfter, Read(normal));
        }
        if (*r.disabledAfter) {
            EXPECT_EQ(r.disabledAfter, Read(disabled));
        }
        EXPECT_EQ(r.deletes, Count("delete"));
        EXPECT_EQ(r.moves, Count("move"));
        EXPECT_EQ(2, Count("exists"));
    }
}

TEST_F(ProgramDisableTest, DateTimeControlPanelRoundTripAndRepeats) {
    fake::WriteFile(sys + "/timedate.cpl", "control panel");
    EnableDateTimeControlPanel(false);
    EnableDateTimeControlPanel(false);
    EXPECT_FALSE(There(sys + "/timedate.cpl"));
    EXPECT_EQ("control panel", Read(sys + "/vsp32tim.exe"));

    EnableDateTimeControlPanel(true);
    EnableDateTimeControlPanel(true);
    EXPECT_EQ("control panel", Read(sys + "/timedate.cpl"));
    EXPECT_FALSE(There(sys + "/vsp32tim.exe"));
}

TEST_F(ProgramDisableTest, RegistryProgramsEachInTheirOwnFolder) {
    fake::WriteFile(win + "/regedit.exe", "regedit");
    fake::WriteFile(sys + "/msconfig.exe", "msconfig");
    fake::WriteFile(sys + "/regedit.exe", "not the one"); // wrong folder: left alone
    EnableRegistryPrograms(false);
    EXPECT_EQ("regedit", Read(win + "/vsp32reg.exe"));
    EXPECT_EQ("msconfig", Read(sys + "/vsp32msc.exe"));
    EXPECT_FALSE(There(win + "/regedit.exe"));
    EXPECT_FALSE(There(sys + "/msconfig.exe"));
    EXPECT_EQ("not the one", Read(sys + "/regedit.exe"));
    EXPECT_FALSE(There(sys + "/vsp32reg.exe"));

    EnableRegistryPrograms(true);
    EXPECT_EQ("regedit", Read(win + "/regedit.exe"));
    EXPECT_EQ("msconfig", Read(sys + "/msconfig.exe"));
    EXPECT_FALSE(There(win + "/vsp32reg.exe"));
    EXPECT_FALSE(There(sys + "/vsp32msc.exe"));
}

TEST_F(ProgramDisableTest, MissingProgramIsLeftAlone) {
    fake::WriteFile(sys + "/msconfig.exe", "msconfig"); // no regedit.exe anywhere
    EnableRegistryPrograms(false);
    EXPECT_EQ("msconfig", Read(sys + "/vsp32msc.exe"));
    EXPECT_FALSE(There(win + "/vsp32reg.exe"));
    EXPECT_EQ(1, Count("move"));
    EXPECT_EQ(0, Count("delete"));
}

TEST_F(ProgramDisableTest, DirectoryGetsExactlyOneBackslash) {
    fake::WriteFile(sys + "/timedate.cpl", "x");
    fake::Files().systemDir = sys + "\\";
    EnableDateTimeControlPanel(false);
    ASSERT_EQ(3u, fake::Files().calls.size());
    EXPECT_EQ(sys + "\\timedate.cpl", fake::Files().calls[0].path);
    EXPECT_EQ(sys + "\\vsp32tim.exe", fake::Files().calls[1].path);
    EXPECT_EQ(sys + "\\timedate.cpl", fake::Files().calls[2].path);
    EXPECT_EQ(sys + "\\vsp32tim.exe", fake::Files().calls[2].to);

    fake::Files().calls.clear();
    fake::Files().systemDir = sys;
    EnableDateTimeControlPanel(true);
    ASSERT_EQ(3u, fake::Files().calls.size());
    EXPECT_EQ(sys + "\\timedate.cpl", fake::Files().calls[0].path);
    EXPECT_EQ(sys + "\\vsp32tim.exe", fake::Files().calls[2].path);
    EXPECT_EQ("x", Read(sys + "/timedate.cpl"));
}

TEST_F(ProgramDisableTest, UnknownDirectoryDoesNothing) {
    fake::WriteFile(sys + "/timedate.cpl", "x");
    fake::Files().systemDir.clear();
    EnableDateTimeControlPanel(false);
    EXPECT_TRUE(fake::Files().calls.empty());
    EXPECT_TRUE(There(sys + "/timedate.cpl"));
}

TEST_F(ProgramDisableTest, NothingHappensOnNt) {
    fake::ResetPlatform(); // the stand-in's default: the NT family
    fake::WriteFile(sys + "/timedate.cpl", "t");
    fake::WriteFile(sys + "/vsp32msc.exe", "m");
    fake::WriteFile(win + "/regedit.exe", "r");
    fake::WriteFile(win + "/vsp32reg.exe", "r2");
    for (bool enable : {false, true}) {
        EnableDateTimeControlPanel(enable);
        EnableRegistryPrograms(enable);
        EnableProgramFile(enable, WindowsDirectory, IDS_REGEDIT_EXE, IDS_REGEDIT_DISABLED);
    }
    EXPECT_TRUE(fake::Files().calls.empty());
    EXPECT_EQ("t", Read(sys + "/timedate.cpl"));
    EXPECT_EQ("m", Read(sys + "/vsp32msc.exe"));
    EXPECT_EQ("r", Read(win + "/regedit.exe"));
    EXPECT_EQ("r2", Read(win + "/vsp32reg.exe"));
    EXPECT_FALSE(There(sys + "/vsp32tim.exe"));
}

} // namespace
