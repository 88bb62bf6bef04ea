// %1/%2 substitution, command-line tails and the time classes.
#include <gtest/gtest.h>

#include "framework/app.h"
#include "framework/datetime.h"
#include "framework/text.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

TEST(FormatText, ReplacesBothPlaceholdersEveryTime) {
    EXPECT_EQ(FormatText("%1 and %2, %1 again", "a", "b"), "a and b, a again");
    EXPECT_EQ(FormatText("100% sure, %3", "x"), "100% sure, %3");
    EXPECT_EQ(FormatText("ends with %", "x"), "ends with %");
    EXPECT_EQ(FormatText("%1", "%2", "y"), "%2"); // arguments are not expanded again
}

TEST(CommandLineTail, SkipsTheProgramToken) {
    EXPECT_EQ(CommandLineTail("vespra.exe /service"), "/service");
    EXPECT_EQ(CommandLineTail("\"C:\\Program Files\\Vespra\\vespra.exe\" /logon"), "/logon");
    EXPECT_EQ(CommandLineTail(" /stop"), "/stop"); // a caller that passes no program name
    EXPECT_EQ(CommandLineTail("vespra.exe"), "");
    EXPECT_EQ(CommandLineTail("vespra.exe /settings "), "/settings ");
    EXPECT_EQ(CommandLineTail("\"unterminated /x"), "");
}

class TimeTest : public SchedulerTest {};

TEST_F(TimeTest, LocalFieldsAndArithmetic) {
    CTime t(2026, 12, 8, 23, 59, 30);
    EXPECT_EQ(t.GetDayOfWeek(), 3); // Tuesday
    EXPECT_EQ(t.GetHour(), 23);
    EXPECT_EQ(t.GetSecond(), 30);
    CTime u = t + CTimeSpan(0, 0, 0, 45);
    EXPECT_EQ(u.GetDay(), 9);
    EXPECT_EQ(u.GetMinute(), 0);
    EXPECT_EQ((u - t).GetTotalSeconds(), 45);
    EXPECT_TRUE(t < u);
    EXPECT_EQ(CTimeSpan(1, 2, 3, 4).GetTotalSeconds(), 93784);
}

TEST_F(TimeTest, NowComesFromTheClockSeam) {
    SetNow(2026, 3, 8, 1, 59, 0); // the night the clocks go forward
    CTime now = CTime::GetCurrentTime();
    CTime later = now + CTimeSpan(120);
    EXPECT_EQ(later.GetHour(), 3); // 02:01 does not exist
    EXPECT_EQ(later.GetMinute(), 1);
}

} // namespace
