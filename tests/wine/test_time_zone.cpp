// The zone the times were set in, through the real API: the machine's zone by its key
// name, and the rules of another zone from Wine's own "Time Zones" converting as
// Windows does. ctest sets Wine's zone to London (TZ).
#include <gtest/gtest.h>

#include <windows.h>

#include "system/os.h"
#include "system/time_zone.h"

namespace {

TEST(TimeZone, TheMachinesZoneHasItsKeyNameAndAnotherZoneConvertsByItsRules) {
    std::string machine;
    ASSERT_TRUE(GetMachineTimeZoneName(machine));
    EXPECT_EQ(machine, "GMT Standard Time");
    ZoneRules pacific;
    ASSERT_TRUE(ReadZoneRules("Pacific Standard Time", pacific));
    const struct {
        time_t utc;
        int hour, minute, isdst;
    } cases[] = {
        {1768478400, 4, 0, 0},  // 15 Jan 2026 12:00 UTC
        {1782907200, 5, 0, 1},  // 1 Jul 2026 12:00 UTC
        {1772963940, 1, 59, 0}, // 8 Mar 2026 09:59 UTC: the last minute before the skip
        {1772964000, 3, 0, 1},  // 10:00 UTC
        {1793523600, 1, 0, 0},  // 1 Nov 2026 09:00 UTC: the repeated hour's second showing
    };
    for (const auto &c : cases) {
        const struct tm t = pacific.ToLocal(c.utc);
        EXPECT_EQ(t.tm_hour * 60 + t.tm_min, c.hour * 60 + c.minute) << c.utc;
        EXPECT_EQ(t.tm_isdst, c.isdst) << c.utc;
    }
    EXPECT_FALSE(ReadZoneRules("No Such Standard Time", pacific));
}

} // namespace
