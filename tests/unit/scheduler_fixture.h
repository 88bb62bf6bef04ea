// Common set-up of the scheduler tests: a fixed time zone, a fresh stand-in for
// every platform facility, and a clock the test sets.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "framework/datetime.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_os.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_ui.h"

inline time_t LocalTime(int y, int mo, int d, int h, int mi, int s, int isdst = -1) {
    struct tm t = MakeTm(y, mo, d, h, mi, s, isdst);
    return mktime(&t);
}

// The no-break space FormatTime puts between a time and its designator.
constexpr const char *NBSP = "\xA0";

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("America/New_York");
        fake::ResetAll();
        // Tuesday 8 December 2026, noon.
        SetNow(2026, 12, 8, 12, 0, 0);
    }
    static void UseTimeZone(const char *tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    static void SetNow(int y, int mo, int d, int h, int mi, int s, int isdst = -1) {
        fake::SetNow(LocalTime(y, mo, d, h, mi, s, isdst));
    }
};
