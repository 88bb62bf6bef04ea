// Daylight saving through the real C runtime and the time zone Wine gives Windows:
// on the day the clock springs forward a time in the skipped hour is reached at the
// first minute after the gap, and a time in the repeated hour of the autumn change
// stays itself. The time zone comes from ctest (TZ), one run per zone; TZ itself is
// cleared inside, so the runtime asks Windows for the zone, as on a real machine.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "scheduler/scheduler.h"

namespace {

struct Case {
    int year, month, day;
    int minuteOfDay; // the time set
    int reachedAt;   // when that date reaches it
};

struct Zone {
    const wchar_t *standardName; // as GetTimeZoneInformation names it (Wine's pick
                                 // for TZ; Berlin's rules are Central Europe's)
    Case cases[5];
};

const Zone kZones[] = {
    {L"Eastern Standard Time",
     {{2026, 3, 8, 2 * 60 + 30, 3 * 60},   // 02:00 -> 03:00
      {2026, 3, 8, 2 * 60, 3 * 60},
      {2026, 3, 8, 1 * 60 + 59, 1 * 60 + 59},
      {2026, 3, 9, 2 * 60 + 30, 2 * 60 + 30},
      {2026, 11, 1, 1 * 60 + 30, 1 * 60 + 30}}}, // 01:00-01:59 twice
    {L"Central Europe Standard Time",
     {{2026, 3, 29, 2 * 60 + 30, 3 * 60},
      {2026, 3, 29, 2 * 60 + 59, 3 * 60},
      {2026, 3, 29, 3 * 60, 3 * 60},
      {2026, 3, 22, 2 * 60 + 30, 2 * 60 + 30},
      {2026, 10, 25, 2 * 60 + 30, 2 * 60 + 30}}}, // 02:00-02:59 twice
};

TEST(DaylightSaving, SkippedTimesAreReachedAfterTheGapInThisZone) {
    _putenv("TZ=");
    _tzset();
    TIME_ZONE_INFORMATION tzi = {};
    GetTimeZoneInformation(&tzi);
    const Zone *zone = nullptr;
    for (const Zone &z : kZones)
        if (std::wstring(tzi.StandardName) == z.standardName)
            zone = &z;
    char name[64] = {};
    WideCharToMultiByte(CP_UTF8, 0, tzi.StandardName, -1, name, sizeof name - 1, nullptr, nullptr);
    ASSERT_NE(zone, nullptr) << "no cases for the time zone \"" << name << "\"; run it with TZ set";
    for (const Case &c : zone->cases) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                     std::to_string(c.day) + " minute " + std::to_string(c.minuteOfDay));
        struct tm day = {};
        day.tm_year = c.year - 1900;
        day.tm_mon = c.month - 1;
        day.tm_mday = c.day;
        day.tm_hour = 12;
        day.tm_isdst = -1;
        ASSERT_NE(mktime(&day), time_t(-1));
        EXPECT_EQ(ReachedAtMinute(day, c.minuteOfDay), c.reachedAt);
    }
}

} // namespace
