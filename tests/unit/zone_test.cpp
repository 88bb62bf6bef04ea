// A zone's rules as Windows keeps them, against the TZ database for the same zone
// every half hour, and what the reader of "Time Zones" refuses.
#include <gtest/gtest.h>

#include <cstdlib>

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
    eastern.years = {{2006, Rules(kEastern2006).rule}, {2007, eastern.rule}};
    const time_t y2005 = 1104537600, y2008 = 1199145600, y2026 = 1767225600, y2028 = 1830297600;
    const struct {
        const char *tz;
        ZoneRules rules;
        time_t from, to; // UTC
    } zones[] = {
        {"America/New_York", eastern, y2005, y2008}, // the old US rules and the change
        {"America/New_York", eastern, y2026, y2028},
        {"Europe/Berlin", Rules(Tzi(-60, -60, {10, 0, 5, 3}, {3, 0, 5, 2})), y2026, y2028},
        {"Australia/Sydney", Rules(Tzi(-600, -60, {4, 0, 1, 3}, {10, 0, 1, 2})), y2026, y2028},
        {"Asia/Tokyo", Rules(Tzi(-540, 0, {0, 0, 0, 0}, {0, 0, 0, 0})), y2026, y2028},
    };
    for (const auto &z : zones) {
        setenv("TZ", z.tz, 1);
        tzset();
        for (time_t u = z.from, wrong = 0; u < z.to && wrong < 3; u += 1800) {
            struct tm want = {};
            localtime_r(&u, &want);
            const struct tm got = z.rules.ToLocal(u);
            // Back from the fields: exactly with their daylight flag; without it, a
            // repeated hour at its first showing, a skipped one moved on by the skip.
            struct tm flagged = got, undecided = got;
            undecided.tm_isdst = -1;
            const time_t first = z.rules.FromLocal(undecided);
            const bool ok = got.tm_year == want.tm_year && got.tm_yday == want.tm_yday && got.tm_wday == want.tm_wday &&
                            got.tm_hour * 60 + got.tm_min == want.tm_hour * 60 + want.tm_min &&
                            got.tm_isdst == want.tm_isdst && z.rules.FromLocal(flagged) == u &&
                            (first == u || (first == u - 3600 && undecided.tm_hour == got.tm_hour));
            wrong += !ok;
            EXPECT_TRUE(ok) << z.tz << " at " << u << ": " << asctime(&got);
        }
    }
    setenv("TZ", "America/New_York", 1);
    tzset();
}

TEST(Zone, TheReaderRefusesWhatIsNoZone) {
    fake::ResetAll();
    PutEasternZone();
    const std::string key = std::string(kTimeZonesKey) + "\\";
    std::vector<unsigned char> month13 = kEastern, cut = kEastern, farBias = kEastern;
    month13[14] = 13;
    cut.pop_back();
    farBias[1] = 0x10; // 4396 minutes
    fake::PutRaw(key + "Month", "TZI", REG_BINARY, month13);
    fake::PutRaw(key + "Cut", "TZI", REG_BINARY, cut);
    fake::PutRaw(key + "Far", "TZI", REG_BINARY, farBias);
    fake::PutString(key + "Text", "TZI", std::string(kEastern.begin(), kEastern.end()));
    ZoneRules rules;
    for (const char *bad : {"Month", "Cut", "Far", "Text", "Missing", "", "..\\Eastern Standard Time"})
        EXPECT_FALSE(ReadZoneRules(bad, rules)) << bad;
    ASSERT_TRUE(ReadZoneRules("Eastern Standard Time", rules));
    EXPECT_EQ(rules.ForYear(1999).daylightDate.month, 4);
    EXPECT_EQ(rules.ForYear(2030).daylightDate.month, 3);
    // A year missing between the first and the last: no dynamic rules.
    fake::PutDword(key + "Eastern Standard Time\\Dynamic DST", "LastEntry", 2008);
    ASSERT_TRUE(ReadZoneRules("Eastern Standard Time", rules));
    EXPECT_TRUE(rules.years.empty());
}

} // namespace
