// The time zone the schedule's times are in. Without rules of its own it is the C
// library's local time, the machine's zone as the process found it at its start;
// with rules (a zone's TIME_ZONE_INFORMATION as Windows keeps it, year by year) it
// converts by them, whatever zone the machine is set to meanwhile.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>

#include "framework/datetime.h"

// When daylight saving starts or ends, as a SYSTEMTIME of TIME_ZONE_INFORMATION:
// month 0 means no daylight saving; with year 0, `day` is the week (5 = the last)
// of `dayOfWeek` in the month, else the day of the month of that year.
struct ZoneDate {
    int year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// One year's rule. Biases in minutes, UTC = local + bias (+ the part's own bias);
// the start of daylight saving is given in standard time, its end in daylight time.
struct ZoneRule {
    int32_t bias = 0, standardBias = 0, daylightBias = 0;
    ZoneDate standardDate, daylightDate;
};

struct ZoneRules {
    ZoneRule rule; // the years `years` lacks, or every year
    // Windows' dynamic rules: a rule for each year from the first to the last given;
    // earlier years take the first, later ones the last.
    std::map<int, ZoneRule> years;

    const ZoneRule &ForYear(int year) const;
    // The local broken-down time of a UTC time (tm_isdst set, tm_wday and tm_yday too).
    struct tm ToLocal(time_t utc) const;
    // As mktime: the fields may be out of range and are normalised; tm_isdst < 0
    // lets the rule decide. A time the clock skips comes back moved on by the
    // skip, one it shows twice is taken at its first showing.
    time_t FromLocal(struct tm &local) const;
};

class ScheduleZone {
public:
    // The C library's local time.
    void UseLibrary() {
        m_own = false;
        m_name.clear();
    }
    void Use(const std::string &name, const ZoneRules &rules) {
        m_own = true;
        m_name = name;
        m_rules = rules;
    }
    bool HasOwnRules() const { return m_own; }
    const std::string &Name() const { return m_name; }

    struct tm Local(const CTime &t) const;
    time_t MakeTime(struct tm &t) const;
    CTime At(int year, int month, int day, int hour, int minute, int second) const;

private:
    bool m_own = false;
    std::string m_name;
    ZoneRules m_rules;
};
