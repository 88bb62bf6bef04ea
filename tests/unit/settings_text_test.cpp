// The text forms of the day lists: the reader agrees with the C library's sscanf
// wherever sscanf's result is defined, and stays defined where it is not.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "settings/settings_text.h"

namespace {

TEST(ScanNumbers, AgreesWithSscanf) {
    const char *registryTimes = "%u:%u %u:%u %u:%u %u:%u %u:%u %u:%u %u:%u";
    const char *iniTimes = "%d:%d,%d:%d,%d:%d,%d:%d,%d:%d,%d:%d,%d:%d";
    const char *inputs[] = {"23:5 6:07 0:0 1:1 2:2 3:3 4:4",
                            "  23:00\t\n7:00",
                            "23 :00",
                            "23: 5 +4:-1",
                            "-3:5,7:5,24:00,x",
                            "7:5,24:00,23:61,1:1,2:2,3:3,4:4",
                            "1:2,3:4 ,5:6",
                            "",
                            ":",
                            "12:34:56 7:8",
                            "1:1 2:2 3:3 4:4 5:5 6:6 7:7 8:8"};
    for (const char *format : {registryTimes, iniTimes}) {
        for (const char *text : inputs) {
            uint32_t mine[14] = {};
            const int n = ScanNumbers(text, format, mine, 14);
            unsigned c[14] = {};
            int expected = sscanf(text, format, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6],
                                  &c[7], &c[8], &c[9], &c[10], &c[11], &c[12], &c[13]);
            if (expected < 0)
                expected = 0; // EOF before the first conversion
            ASSERT_EQ(n, expected) << format << " on " << text;
            for (int i = 0; i < n; ++i)
                EXPECT_EQ(mine[i], c[i]) << format << " on " << text << " #" << i;
        }
    }
}

TEST(ScanNumbers, HugeNumbersSaturate) {
    uint32_t v[2];
    ASSERT_EQ(ScanNumbers("99999999999:-99999999999", "%u:%u", v, 2), 2);
    EXPECT_EQ(v[0], 0xFFFFFFFFu);
    EXPECT_EQ(v[1], 0xFFFFFFFFu);
    ASSERT_EQ(ScanNumbers("99999999999,-99999999999", "%d,%d", v, 2), 2);
    EXPECT_EQ(int32_t(v[0]), INT32_MAX);
    EXPECT_EQ(int32_t(v[1]), INT32_MIN);
    ASSERT_EQ(ScanNumbers("4294967295 -1", "%u %u", v, 2), 2);
    EXPECT_EQ(v[0], 0xFFFFFFFFu);
    EXPECT_EQ(v[1], 0xFFFFFFFFu);
    // Never more values than room for.
    EXPECT_EQ(ScanNumbers("1 2 3", "%u %u %u", v, 2), 2);
}

TEST(DayLists, FormatsOfBothStores) {
    const BOOL days[kDays] = {1, 1, 1, 1, 1, 0, 0};
    const int hours[kDays] = {23, 0, 7, 12, 9, 10, 23};
    const int minutes[kDays] = {0, 5, 0, 30, 59, 0, 5};
    EXPECT_EQ(FormatRegistryDays(days), "1 1 1 1 1 0 0");
    EXPECT_EQ(FormatIniDays(days), "1,1,1,1,1,0,0");
    EXPECT_EQ(FormatRegistryTimes(hours, minutes), "23:00 0:05 7:00 12:30 9:59 10:00 23:05");
    EXPECT_EQ(FormatIniTimes(hours, minutes), "23:00,0:05,7:00,12:30,9:59,10:00,23:05");
}

TEST(DayLists, PairsAreTakenWhole) {
    int h[kDays] = {1, 1, 1, 1, 1, 1, 1};
    int m[kDays] = {2, 2, 2, 2, 2, 2, 2};
    EXPECT_EQ(ParseRegistryTimes("5:05 6", h, m), 1);
    EXPECT_EQ(h[1], 1); // the hour alone is not taken
    EXPECT_EQ(ParseIniTimes("-1:-5,7:5", h, m), 2);
    EXPECT_EQ(h[0], -1);
    EXPECT_EQ(m[0], -5);
    EXPECT_TRUE(IsTimeOutOfRange(h[0], m[0]));
    EXPECT_TRUE(IsTimeOutOfRange(24, 0));
    EXPECT_TRUE(IsTimeOutOfRange(0, 60));
    EXPECT_FALSE(IsTimeOutOfRange(23, 59));
    EXPECT_FALSE(IsTimeOutOfRange(0, 0));
    BOOL d[kDays] = {0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ParseIniDays("1,2, 3,x", d), 3);
    EXPECT_EQ(d[1], 2);
    EXPECT_EQ(d[3], 0);
    EXPECT_EQ(ParseRegistryDays("1,1", d), 1);
}

} // namespace
