// Zones as Windows keeps them under "Time Zones": REG_TZI_FORMAT values.
#pragma once

#include <string>
#include <vector>

#include "system/time_zone.h"
#include "tests/support/fake_registry.h"

// Biases in minutes (the standard bias is 0 in every zone); the dates as
// {month, day of week, week, hour}.
inline std::vector<unsigned char> Tzi(int bias, int daylightBias, std::vector<int> standard,
                                      std::vector<int> daylight) {
    std::vector<unsigned char> b;
    auto put = [&b](long v, int n) {
        for (int i = 0; i < n; ++i)
            b.push_back(static_cast<unsigned char>((static_cast<unsigned long>(v) >> (8 * i)) & 0xFF));
    };
    for (long v : {long(bias), 0L, long(daylightBias)})
        put(v, 4);
    for (const auto &d : {standard, daylight})
        for (int v : {0, d[0], d[1], d[2], d[3], 0, 0, 0})
            put(v, 2);
    return b;
}

// Eastern time since 2007, and in 2006 and before.
inline const std::vector<unsigned char> kEastern = Tzi(300, -60, {11, 0, 1, 2}, {3, 0, 2, 2});
inline const std::vector<unsigned char> kEastern2006 = Tzi(300, -60, {10, 0, 5, 2}, {4, 0, 1, 2});

inline void PutEasternZone() {
    const std::string key = std::string(kTimeZonesKey) + "\\Eastern Standard Time";
    fake::PutRaw(key, "TZI", REG_BINARY, kEastern);
    fake::PutDword(key + "\\Dynamic DST", "FirstEntry", 2006);
    fake::PutDword(key + "\\Dynamic DST", "LastEntry", 2007);
    fake::PutRaw(key + "\\Dynamic DST", "2006", REG_BINARY, kEastern2006);
    fake::PutRaw(key + "\\Dynamic DST", "2007", REG_BINARY, kEastern);
}
