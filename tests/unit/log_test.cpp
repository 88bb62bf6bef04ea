// The diagnostic log and the timer beep, against the stand-ins: a temporary file for
// the log, the simulated clock for its time stamps.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "framework/datetime.h"
#include "system/log.h"
#include "security/permissions.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_ui.h"

namespace {

const char kKey[] = "SOFTWARE\\Vespra";

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::ResetAll();
        path = fake::UseTempLogFile();
        ASSERT_FALSE(path.empty());
        fake::SetNow(CTime(2001, 9, 30, 23, 5, 7).GetTime());
    }
    void TearDown() override {
        fake::ResetPlatform();
        fake::ResetFiles();
    }
    std::string Contents() { return fake::ReadFile(path); }

    std::string path;
};

TEST_F(LogTest, LineIsPrefixedWithDateAndTime) {
    fake::PutDword(kKey, "logfile", 1);
    WriteLog("Showing warning");
    EXPECT_EQ("09/30/01 23:05:07: Showing warning\n", Contents());
}

TEST_F(LogTest, FieldsArePaddedToTwoDigits) {
    fake::PutDword(kKey, "logfile", 1);
    fake::SetNow(CTime(2005, 1, 2, 3, 4, 5).GetTime());
    WriteLog("a");
    fake::SetNow(CTime(2000, 12, 31, 0, 0, 0).GetTime());
    WriteLog("b");
    EXPECT_EQ("01/02/05 03:04:05: a\n12/31/00 00:00:00: b\n", Contents());
}

TEST_F(LogTest, ExactlyOneLineEnd) {
    fake::PutDword(kKey, "logfile", 1);
    WriteLog("ends in a line feed\n");
    WriteLog("");
    WriteLog("two\nlines");
    WriteLog("\n");
    EXPECT_EQ("09/30/01 23:05:07: ends in a line feed\n"
              "09/30/01 23:05:07: \n"
              "09/30/01 23:05:07: two\nlines\n"
              "09/30/01 23:05:07: \n",
              Contents());
}

TEST_F(LogTest, AppendsToWhatIsThereAndClosesEachLine) {
    fake::WriteFile(path, "from the service host\n");
    fake::PutDword(kKey, "logfile", 1);
    WriteLog("one");
    // Already on disk: nothing is held open or buffered between lines.
    EXPECT_EQ("from the service host\n09/30/01 23:05:07: one\n", Contents());
    fake::WriteFile(path, fake::ReadFile(path) + "another writer\n");
    fake::AdvanceClock(20);
    WriteLog("two");
    EXPECT_EQ("from the service host\n09/30/01 23:05:07: one\nanother writer\n"
              "09/30/01 23:05:27: two\n",
              Contents());
}

TEST_F(LogTest, SwitchOffAtFirstCallStaysOffForTheProcess) {
    WriteLog("missing value means off");
    fake::PutDword(kKey, "logfile", 1);
    WriteLog("switched on too late");
    EXPECT_EQ("", Contents());

    // A fresh process sees the new value.
    ForgetLogSwitches();
    WriteLog("next process");
    EXPECT_EQ("09/30/01 23:05:07: next process\n", Contents());
}

TEST_F(LogTest, APolicySwitchWinsOverTheStoredOne) {
    fake::PutDword(kKey, "logfile", 1);
    fake::PutDword("SOFTWARE\\Policies\\Vespra", "logfile", 0);
    WriteLog("off by policy");
    ForgetLogSwitches();
    fake::PutDword(kKey, "logfile", 0);
    fake::PutDword("SOFTWARE\\Policies\\Vespra", "logfile", 1);
    WriteLog("on by policy");
    EXPECT_EQ("09/30/01 23:05:07: on by policy\n", Contents());
}

TEST_F(LogTest, SwitchOnAtFirstCallStaysOnAndIsReadOnce) {
    fake::PutDword(kKey, "logfile", 1);
    WriteLog("first");
    const int opens = fake::Reg().opens;
    fake::PutDword(kKey, "logfile", 0);
    WriteLog("second");
    EXPECT_EQ(opens, fake::Reg().opens) << "the switch is read once per process";
    EXPECT_EQ("09/30/01 23:05:07: first\n09/30/01 23:05:07: second\n", Contents());
}

TEST_F(LogTest, UnopenableFileIsSkippedSilently) {
    fake::PutDword(kKey, "logfile", 1);
    const std::string dir = fake::MakeTempDir();
    ASSERT_FALSE(dir.empty());
    fake::Plat().logFile = dir; // a folder can't be opened as a file
    WriteLog("dropped");
    fake::Plat().logFile = dir + "/no such folder/vespra.log";
    WriteLog("dropped");
    fake::Plat().logFile.clear();
    WriteLog("dropped");
    // A link a user made first is not followed: the line is dropped, not written
    // where the link points.
    const std::string target = dir + "/target";
    fake::Plat().logFile = dir + "/link.log";
    ASSERT_EQ(0, symlink(target.c_str(), fake::Plat().logFile.c_str()));
    WriteLog("dropped");
    EXPECT_FALSE(fake::FileThere(target));
    unlink(fake::Plat().logFile.c_str());
    EXPECT_FALSE(fake::FileThere(dir + "/no such folder"));
    EXPECT_TRUE(fake::State().boxes.empty());
    ASSERT_EQ(1u, fake::Plat().eventReports.size()) << "reported once a process";
    EXPECT_EQ("Vespra can't write its log file " + dir + " - error 5",
              fake::Plat().eventReports[0]);

    fake::Plat().logFile = path;
    WriteLog("kept");
    EXPECT_EQ("09/30/01 23:05:07: kept\n", Contents());
}

// A log users may write, taken back by the system once a process; a log made by the
// system is made with its own DACL and needs nothing.
TEST_F(LogTest, TheSystemSecuresALogUsersMayWrite) {
    fake::PutDword(kKey, "logfile", 1);
    for (const bool system : {false, true}) {
        ForgetLogFileChecks();
        fake::Plat().runningAsSystem = system;
        WriteLog("one");
        WriteLog("two");
    }
    EXPECT_EQ("09/30/01 23:05:07: one\n09/30/01 23:05:07: two\n09/30/01 23:05:07: Log file "
              "secured\n09/30/01 23:05:07: one\n09/30/01 23:05:07: two\n",
              Contents());
    EXPECT_FALSE(LetsUsersChange(fake::Plat().logSecurity));

    fake::Plat().logFile = path + ".new";
    ForgetLogFileChecks();
    WriteLog("new");
    EXPECT_EQ("09/30/01 23:05:07: new\n", fake::ReadFile(path + ".new"));
    unlink((path + ".new").c_str());
}

class BeepTest : public LogTest {};

TEST_F(BeepTest, NtBeepsAt400HzFor100Ms) {
    fake::PutDword(kKey, "beep", 1);
    fake::Plat().platformId = 2;
    TimerBeep();
    TimerBeep();
    ASSERT_EQ(2u, fake::Plat().beeps.size());
    EXPECT_FALSE(fake::Plat().beeps[0].messageBeep);
    EXPECT_EQ(400u, fake::Plat().beeps[0].frequency);
    EXPECT_EQ(100u, fake::Plat().beeps[0].duration);
}

TEST_F(BeepTest, Win9xPlaysTheAsteriskSound) {
    fake::PutDword(kKey, "beep", 1);
    fake::Plat().platformId = 1;
    TimerBeep();
    ASSERT_EQ(1u, fake::Plat().beeps.size());
    EXPECT_TRUE(fake::Plat().beeps[0].messageBeep);
    EXPECT_EQ(0x40u, fake::Plat().beeps[0].type);
}

TEST_F(BeepTest, SwitchIsReadOncePerProcess) {
    TimerBeep(); // "beep" missing: off
    fake::PutDword(kKey, "beep", 1);
    TimerBeep();
    EXPECT_TRUE(fake::Plat().beeps.empty());

    ForgetLogSwitches();
    TimerBeep();
    fake::PutDword(kKey, "beep", 0);
    TimerBeep();
    EXPECT_EQ(2u, fake::Plat().beeps.size());
}

TEST_F(BeepTest, BeepAndLogSwitchesAreIndependent) {
    fake::PutDword(kKey, "beep", 1);
    WriteLog("log is off");
    TimerBeep();
    EXPECT_EQ("", Contents());
    EXPECT_EQ(1u, fake::Plat().beeps.size());
}

} // namespace
