#include "framework/datetime.h"

#include "framework/clock.h"

struct tm MakeTm(int year, int month, int day, int hour, int minute, int second, int isdst) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = isdst;
    return t;
}

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int nDST) {
    struct tm t = MakeTm(year, month, day, hour, minute, second, nDST);
    m_time = mktime(&t);
}

CTime CTime::GetCurrentTime() {
    return CTime(ClockNow());
}

struct tm CTime::Local() const {
    struct tm t = {};
    time_t v = m_time;
#ifdef _WIN32
    if (localtime_s(&t, &v) != 0)
        t = {};
#else
    if (!localtime_r(&v, &t))
        t = {};
#endif
    return t;
}
