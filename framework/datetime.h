// CTime and CTimeSpan: a point in time and a distance between two, over time_t.
// Local time and daylight saving come from the C library (TZ decides in tests);
// "now" comes from the clock seam so tests can move it.
#pragma once

#include <cstdint>
#include <ctime>

#include "framework/win32_types.h"

// The broken-down fields of a date and time of day (month 1..12), for mktime and its
// kin; isdst -1 lets the rules decide.
struct tm MakeTm(int year, int month, int day, int hour, int minute, int second, int isdst = -1);

class CTimeSpan {
public:
    CTimeSpan() = default;
    explicit CTimeSpan(int64_t seconds) : m_span(seconds) {}
    CTimeSpan(long days, int hours, int minutes, int seconds)
        : m_span(((int64_t(days) * 24 + hours) * 60 + minutes) * 60 + seconds) {}

    int64_t GetTotalSeconds() const { return m_span; }

    CTimeSpan operator+(CTimeSpan o) const { return CTimeSpan(m_span + o.m_span); }
    CTimeSpan operator-(CTimeSpan o) const { return CTimeSpan(m_span - o.m_span); }
    CTimeSpan operator*(int64_t n) const { return CTimeSpan(m_span * n); }
    bool operator==(CTimeSpan o) const { return m_span == o.m_span; }
    bool operator!=(CTimeSpan o) const { return m_span != o.m_span; }
    bool operator<(CTimeSpan o) const { return m_span < o.m_span; }

private:
    int64_t m_span = 0;
};

class CTime {
public:
    CTime() = default;
    explicit CTime(time_t t) : m_time(t) {}
    // Local date and time; nDST < 0 lets the C library decide daylight saving.
    CTime(int year, int month, int day, int hour, int minute, int second, int nDST = -1);

    static CTime GetCurrentTime();

    time_t GetTime() const { return m_time; }
    bool IsSet() const { return m_time != 0; }

    // Broken-down local time. GetDayOfWeek is 1 = Sunday .. 7 = Saturday.
    int GetYear() const { return Local().tm_year + 1900; }
    int GetMonth() const { return Local().tm_mon + 1; }
    int GetDay() const { return Local().tm_mday; }
    int GetHour() const { return Local().tm_hour; }
    int GetMinute() const { return Local().tm_min; }
    int GetSecond() const { return Local().tm_sec; }
    int GetDayOfWeek() const { return Local().tm_wday + 1; }
    struct tm GetLocalTm() const {
        return Local();
    }

    CTime operator+(CTimeSpan s) const { return CTime(m_time + time_t(s.GetTotalSeconds())); }
    CTime operator-(CTimeSpan s) const { return CTime(m_time - time_t(s.GetTotalSeconds())); }
    CTimeSpan operator-(CTime o) const { return CTimeSpan(int64_t(m_time) - int64_t(o.m_time)); }
    CTime &operator+=(CTimeSpan s) {
        m_time += time_t(s.GetTotalSeconds());
        return *this;
    }
    bool operator==(CTime o) const { return m_time == o.m_time; }
    bool operator!=(CTime o) const { return m_time != o.m_time; }
    bool operator<(CTime o) const { return m_time < o.m_time; }
    bool operator<=(CTime o) const { return m_time <= o.m_time; }
    bool operator>(CTime o) const { return m_time > o.m_time; }
    bool operator>=(CTime o) const { return m_time >= o.m_time; }

private:
    struct tm Local() const;
    time_t m_time = 0;
};
