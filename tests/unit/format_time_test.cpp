// The locale's time format and the display text of a time of day.
#include "scheduler/scheduler.h"
#include "tests/unit/scheduler_fixture.h"

namespace {

class FormatTimeTest : public SchedulerTest {
protected:
    void Locale(const char *sep, const char *am, const char *pm, const char *itime) {
        auto &loc = fake::OsState().locale;
        loc[LOCALE_STIME] = sep;
        loc[LOCALE_S1159] = am;
        loc[LOCALE_S2359] = pm;
        loc[LOCALE_ITIME] = itime;
    }
    std::string Text(const char *s, const char *designator) {
        return std::string(s) + NBSP + designator;
    }
};

TEST_F(FormatTimeTest, TwelveHourClock) {
    Locale(":", "AM", "PM", "0");
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    EXPECT_FALSE(dlg.m_b24Hour);
    EXPECT_EQ(dlg.FormatTime(0, 5), Text("12:05", "AM"));
    EXPECT_EQ(dlg.FormatTime(12, 0), Text("12:00", "PM"));
    EXPECT_EQ(dlg.FormatTime(23, 0), Text("11:00", "PM"));
    EXPECT_EQ(dlg.FormatTime(11, 59), Text("11:59", "AM"));
    EXPECT_EQ(dlg.FormatTime(1, 0), Text("1:00", "AM"));
}

TEST_F(FormatTimeTest, TwentyFourHourClock) {
    Locale(":", "", "", "1");
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    EXPECT_TRUE(dlg.m_b24Hour);
    EXPECT_EQ(dlg.FormatTime(7, 5), "7:05");
    EXPECT_EQ(dlg.FormatTime(0, 0), "0:00");
    EXPECT_EQ(dlg.FormatTime(23, 59), "23:59");
    EXPECT_TRUE(dlg.m_sAM.empty()); // a 24-hour clock keeps empty designators
}

TEST_F(FormatTimeTest, UnusualSeparatorAndDesignators) {
    Locale(".", "vorm.", "nachm.", "0");
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    EXPECT_EQ(dlg.FormatTime(13, 7), Text("1.07", "nachm."));
    Locale("h", "", "", "1");
    dlg.ReadLocale();
    EXPECT_EQ(dlg.FormatTime(9, 30), "9h30");
}

TEST_F(FormatTimeTest, EmptyDesignatorsOfATwelveHourClockBecomeAmAndPm) {
    Locale(":", "", "", "0");
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    EXPECT_EQ(dlg.FormatTime(9, 0), Text("9:00", "AM"));
    EXPECT_EQ(dlg.FormatTime(21, 0), Text("9:00", "PM"));
}

TEST_F(FormatTimeTest, EmptySeparatorRereadsTheLocaleFirst) {
    Locale(":", "AM", "PM", "1");
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    dlg.m_sTimeSep.clear();
    const int before = fake::OsState().localeCalls;
    EXPECT_EQ(dlg.FormatTime(8, 15), "8:15");
    EXPECT_GT(fake::OsState().localeCalls, before);
    EXPECT_EQ(dlg.m_sTimeSep, ":");
}

TEST_F(FormatTimeTest, FailingLocaleGivesATwelveHourClockWithoutSeparator) {
    fake::OsState().localeFails = true;
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    EXPECT_TRUE(dlg.m_sTimeSep.empty());
    EXPECT_FALSE(dlg.m_b24Hour);
    EXPECT_EQ(dlg.FormatTime(14, 5), Text("205", "PM"));
}

TEST_F(FormatTimeTest, AnswerTooLongForTheBufferCountsAsFailed) {
    Locale(":", "ante meridiem", "PM", "0"); // 13 characters: more than the buffer holds
    CVespraDlg dlg(nullptr, FALSE, FALSE, FALSE);
    EXPECT_EQ(dlg.m_sAM, "AM");
    EXPECT_EQ(dlg.m_sPM, "PM");
}

} // namespace
