// Zones as Windows keeps them under "Time Zones": REG_TZI_FORMAT values.
#pragma once

#include <string>
#include <vector>

#include "system/time_zone.h"
#include "tests/support/fake_registry.h"

struct TziDate {
    int month, dayOfWeek, week, hour;
};

// Bias and daylight bias in minutes; the standard bias is 0 in every zone.
inline std::vector<unsigned char> Tzi(int bias, int daylightBias, TziDate standard, TziDate daylight) {
    std::vector<unsigned char> b;
    auto put = [&b](long v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(static_cast<unsigned char>((static_cast<unsigned long>(v) >> (8 * i)) & 0xFF));
    };
    put(bias, 4);
    put(0, 4);
    put(daylightBias, 4);
    for (const TziDate &d : {standard, daylight}) {
        for (int v : {0, d.month, d.dayOfWeek, d.week, d.hour, 0, 0, 0})
            put(v, 2);
    }
    return b;
}

// Eastern time: since 2007 the second Sunday of March to the first of November; in
// 2006 and before, the first Sunday of April to the last of October.
inline const std::vector<unsigned char> kEastern = Tzi(300, -60, {11, 0, 1, 2}, {3, 0, 2, 2});
inline const std::vector<unsigned char> kEastern2006 = Tzi(300, -60, {10, 0, 5, 2}, {4, 0, 1, 2});

inline std::string ZoneKey(const std::string &name) {
    return std::string(kTimeZonesKey) + "\\" + name;
}

// The Eastern zone as Windows 7 and later keep it, dynamic years included.
inline void PutEasternZone() {
    const std::string key = ZoneKey("Eastern Standard Time");
    fake::PutRaw(key, "TZI", REG_BINARY, kEastern);
    fake::PutDword(key + "\\Dynamic DST", "FirstEntry", 2006);
    fake::PutDword(key + "\\Dynamic DST", "LastEntry", 2007);
    fake::PutRaw(key + "\\Dynamic DST", "2006", REG_BINARY, kEastern2006);
    fake::PutRaw(key + "\\Dynamic DST", "2007", REG_BINARY, kEastern);
}
