// A zone's rules as Windows keeps them, against the TZ database for the same zone:
// every half hour of several years, daylight saving and the southern hemisphere
// included; and what the reader of "Time Zones" refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "framework/zone.h"
#include "system/time_zone.h"
#include "tests/support/fake_all.h"
#include "tests/unit/zone_data.h"

namespace {

ZoneRules Rules(const std::vector<unsigned char> &tzi) {
    ZoneRules r;
    EXPECT_TRUE(ParseZoneInfo(std::string(tzi.begin(), tzi.end()), r.rule));
    return r;
}

TEST(Zone, RulesConvertAsTheTzDatabaseDoes) {
    ZoneRules eastern = Rules(kEastern);
    eastern.years[2006] = Rules(kEastern2006).rule;
    eastern.years[2007] = eastern.rule;
    // UTC 2005 to 2008 (the old US rules and the change) and 2026 to 2028.
    const time_t y2005 = 1104537600, y2008 = 1199145600, y2026 = 1767225600, y2028 = 1830297600;
    const struct {
        const char *tz;
        ZoneRules rules;
        time_t from, to;
    } zones[] = {
        {"America/New_York", eastern, y2005, y2008},
        {"America/New_York", eastern, y2026, y2028},
        {"Europe/Berlin", Rules(Tzi(-60, -60, {10, 0, 5, 3}, {3, 0, 5, 2})), y2026, y2028},
        {"Australia/Sydney", Rules(Tzi(-600, -60, {4, 0, 1, 3}, {10, 0, 1, 2})), y2026, y2028},
        {"Asia/Tokyo", Rules(Tzi(-540, 0, {0, 0, 0, 0}, {0, 0, 0, 0})), y2026, y2028},
    };
    for (const auto &z : zones) {
        setenv("TZ", z.tz, 1);
        tzset();
        int wrong = 0;
        for (time_t u = z.from; u < z.to && wrong < 3; u += 1800) {
            struct tm want = {};
            localtime_r(&u, &want);
            struct tm got = z.rules.ToLocal(u);
            const bool same = got.tm_year == want.tm_year && got.tm_yday == want.tm_yday &&
                              got.tm_mon == want.tm_mon && got.tm_mday == want.tm_mday &&
                              got.tm_wday == want.tm_wday && got.tm_hour == want.tm_hour &&
                              got.tm_min == want.tm_min && got.tm_isdst == want.tm_isdst;
            // Back from the fields: exactly with their daylight flag; without it, the
            // first showing of a repeated hour.
            struct tm asShown = got;
            const time_t back = z.rules.FromLocal(asShown);
            struct tm undecided = got;
            undecided.tm_isdst = -1;
            const time_t first = z.rules.FromLocal(undecided);
            const bool backOk = back == u && (first == u || (first == u - 3600 && undecided.tm_hour == got.tm_hour));
            if (!same || !backOk) {
                ++wrong;
                ADD_FAILURE() << z.tz << " at " << u << ": " << asctime(&got) << " wanted " << asctime(&want)
                              << " back " << back << " first " << first;
            }
        }
    }
    setenv("TZ", "America/New_York", 1);
    tzset();
}

TEST(Zone, ATimeTheClockSkipsMovesOnByTheSkip) {
    const ZoneRules eastern = Rules(kEastern);
    struct tm t = {};
    t.tm_year = 126;
    t.tm_mon = 2;
    t.tm_mday = 8;
    t.tm_hour = 2;
    t.tm_min = 30;
    t.tm_isdst = -1;
    EXPECT_EQ(eastern.FromLocal(t), time_t(1772955000)); // 07:30 UTC: 03:30 daylight time
    EXPECT_EQ(t.tm_hour, 3);
    // Fields out of range are normalised as mktime does: 0 March is 28 February.
    t = {};
    t.tm_year = 126;
    t.tm_mon = 2;
    t.tm_mday = 0;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    EXPECT_EQ(eastern.FromLocal(t), time_t(1772298000));
    EXPECT_EQ(t.tm_mon * 100 + t.tm_mday, 128);
}

TEST(Zone, TheReaderRefusesWhatIsNoZone) {
    fake::ResetAll();
    PutEasternZone();
    std::vector<unsigned char> badMonth = kEastern, shortInfo = kEastern, farBias = kEastern;
    badMonth[14] = 13;
    shortInfo.pop_back();
    farBias[1] = 0x10; // 4396 minutes
    fake::PutRaw(ZoneKey("Bad Month"), "TZI", REG_BINARY, badMonth);
    fake::PutRaw(ZoneKey("Short"), "TZI", REG_BINARY, shortInfo);
    fake::PutRaw(ZoneKey("Far"), "TZI", REG_BINARY, farBias);
    fake::PutString(ZoneKey("Text"), "TZI", std::string(kEastern.begin(), kEastern.end()));
    fake::PutRaw(ZoneKey("Eastern Standard Time\\Sub"), "TZI", REG_BINARY, kEastern);
    ZoneRules rules;
    for (const char *bad : {"Bad Month", "Short", "Far", "Text", "Missing", "", "Eastern Standard Time\\Sub",
                            "..\\Eastern Standard Time"})
        EXPECT_FALSE(ReadZoneRules(bad, rules)) << bad;
    ASSERT_TRUE(ReadZoneRules("Eastern Standard Time", rules));
    EXPECT_EQ(rules.years.size(), 2u);
    EXPECT_EQ(rules.ForYear(1999).daylightDate.month, 4);
    EXPECT_EQ(rules.ForYear(2030).daylightDate.month, 3);
    // A year missing between the first and the last: the dynamic rules are not taken.
    fake::PutDword(ZoneKey("Eastern Standard Time") + "\\Dynamic DST", "LastEntry", 2008);
    ASSERT_TRUE(ReadZoneRules("Eastern Standard Time", rules));
    EXPECT_TRUE(rules.years.empty());
}

} // namespace
