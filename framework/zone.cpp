#include "framework/zone.h"

namespace {

constexpr int64_t kDay = 86400;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t &y, int &m, int &d) {
    z += 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

int YearOf(int64_t seconds) {
    int64_t y = 0;
    int m = 0, d = 0;
    CivilFromDays(FloorDiv(seconds, kDay), y, m, d);
    return int(y);
}

// The wall-clock time, in seconds since 1970 as if it were UTC, at which a change
// of the rule happens in the given year.
int64_t WallOf(const ZoneDate &date, int year) {
    int day = date.day;
    if (date.year == 0) {
        const int64_t first = DaysFromCivil(year, date.month, 1);
        const int firstDow = int(((first + 4) % 7 + 7) % 7); // 1970-01-01 was a Thursday
        day = 1 + (date.dayOfWeek - firstDow + 7) % 7 + (date.day - 1) * 7;
        const int next = date.month == 12 ? 1 : date.month + 1;
        const int64_t length = DaysFromCivil(date.month == 12 ? year + 1 : year, next, 1) - first;
        while (day > length)
            day -= 7;
    }
    return DaysFromCivil(year, date.month, day) * kDay + date.hour * 3600 + date.minute * 60 +
           date.second;
}

// Minutes to add to local time for UTC at a UTC time, and whether daylight saving is on.
int32_t OffsetAt(const ZoneRules &rules, int64_t utc, bool &dst) {
    const ZoneRule &r = rules.ForYear(YearOf(utc - int64_t(rules.rule.bias) * 60));
    dst = false;
    if (r.standardDate.month != 0 && r.daylightDate.month != 0) {
        const int year = YearOf(utc - int64_t(r.bias) * 60);
        const int64_t start = WallOf(r.daylightDate, year) + int64_t(r.bias + r.standardBias) * 60;
        const int64_t end = WallOf(r.standardDate, year) + int64_t(r.bias + r.daylightBias) * 60;
        dst = start < end ? (start <= utc && utc < end) : !(end <= utc && utc < start);
    }
    return r.bias + (dst ? r.daylightBias : r.standardBias);
}

} // namespace

const ZoneRule &ZoneRules::ForYear(int year) const {
    if (years.empty())
        return rule;
    if (year <= years.begin()->first)
        return years.begin()->second;
    if (year >= years.rbegin()->first)
        return years.rbegin()->second;
    const auto it = years.find(year);
    return it != years.end() ? it->second : rule;
}

struct tm ZoneRules::ToLocal(time_t utc) const {
    bool dst = false;
    const int64_t local = int64_t(utc) - int64_t(OffsetAt(*this, utc, dst)) * 60;
    const int64_t days = FloorDiv(local, kDay);
    const int64_t secs = local - days * kDay;
    int64_t y = 0;
    int m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    struct tm t = {};
    t.tm_year = int(y - 1900);
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_hour = int(secs / 3600);
    t.tm_min = int(secs / 60 % 60);
    t.tm_sec = int(secs % 60);
    t.tm_wday = int(((days + 4) % 7 + 7) % 7);
    t.tm_yday = int(days - DaysFromCivil(y, 1, 1));
    t.tm_isdst = dst ? 1 : 0;
    return t;
}

time_t ZoneRules::FromLocal(struct tm &local) const {
    int64_t y = int64_t(local.tm_year) + 1900 + FloorDiv(local.tm_mon, 12);
    const int mon = int(local.tm_mon - FloorDiv(local.tm_mon, 12) * 12);
    const int64_t wall = (DaysFromCivil(y, mon + 1, 1) + local.tm_mday - 1) * kDay +
                         int64_t(local.tm_hour) * 3600 + int64_t(local.tm_min) * 60 + local.tm_sec;
    const ZoneRule &r = ForYear(YearOf(wall));
    const int64_t asDaylight = wall + int64_t(r.bias + r.daylightBias) * 60;
    const int64_t asStandard = wall + int64_t(r.bias + r.standardBias) * 60;
    auto shows = [&](int64_t utc, bool wantDst) {
        bool dst = false;
        return utc - int64_t(OffsetAt(*this, utc, dst)) * 60 == wall && dst == wantDst;
    };
    const bool daylightOk = shows(asDaylight, true), standardOk = shows(asStandard, false);
    int64_t utc = asStandard; // in a skipped hour: moved on by the skip
    if (local.tm_isdst > 0 && daylightOk)
        utc = asDaylight;
    else if (local.tm_isdst == 0 && standardOk)
        utc = asStandard;
    else if (daylightOk)
        utc = asDaylight; // the first showing of a repeated hour is still daylight time
    local = ToLocal(time_t(utc));
    return time_t(utc);
}

struct tm ScheduleZone::Local(const CTime &t) const {
    return m_own ? m_rules.ToLocal(t.GetTime()) : t.GetLocalTm();
}

time_t ScheduleZone::MakeTime(struct tm &t) const {
    return m_own ? m_rules.FromLocal(t) : mktime(&t);
}

CTime ScheduleZone::At(int year, int month, int day, int hour, int minute, int second) const {
    if (!m_own)
        return CTime(year, month, day, hour, minute, second);
    struct tm t = MakeTm(year, month, day, hour, minute, second);
    return CTime(m_rules.FromLocal(t));
}
