#include "settings/local_filetime.h"

namespace {
const int64_t kTicksPerSecond = 10000000;
const int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
const int64_t kDays1601To1970 = 134774;

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t &y, int64_t &m, int64_t &d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2);
}
} // namespace

uint64_t FileTimeFromFields(const struct tm &f) {
    const int64_t days =
        DaysFromCivil(int64_t(f.tm_year) + 1900, int64_t(f.tm_mon) + 1, f.tm_mday) +
        kDays1601To1970;
    const int64_t seconds =
        days * kSecondsPerDay + int64_t(f.tm_hour) * 3600 + int64_t(f.tm_min) * 60 + f.tm_sec;
    // Nothing before 1601 has a FILETIME; local time never gets there.
    return seconds < 0 ? 0 : uint64_t(seconds) * uint64_t(kTicksPerSecond);
}

bool FieldsFromFileTime(uint64_t fileTime, struct tm &f) {
    if (fileTime > uint64_t(INT64_MAX))
        return false;
    const int64_t seconds = int64_t(fileTime) / kTicksPerSecond;
    const int64_t days = seconds / kSecondsPerDay;
    const int64_t rest = seconds % kSecondsPerDay;
    int64_t y = 0, m = 0, d = 0;
    const int64_t since1970 = days - kDays1601To1970;
    CivilFromDays(since1970, y, m, d);
    f = tm();
    f.tm_year = int(y - 1900);
    f.tm_mon = int(m - 1);
    f.tm_mday = int(d);
    f.tm_hour = int(rest / 3600);
    f.tm_min = int(rest / 60 % 60);
    f.tm_sec = int(rest % 60);
    f.tm_wday = int(((since1970 % 7) + 11) % 7); // 1970-01-01 was a Thursday
    f.tm_yday = int(since1970 - DaysFromCivil(y, 1, 1));
    f.tm_isdst = -1;
    return true;
}
