#include "system/time_zone.h"

#include <cstring>

#include "system/registry.h"

const char *const kTimeZonesKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";

namespace {

constexpr size_t kZoneInfoSize = 44;
// More years of dynamic rules than any zone has; a larger span is not Windows'.
constexpr DWORD kMostDynamicYears = 400;

int32_t Long(const std::string &b, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return int32_t(v);
}

int Word(const std::string &b, size_t at) {
    return int(static_cast<unsigned char>(b[at])) | int(static_cast<unsigned char>(b[at + 1])) << 8;
}

bool ReadDate(const std::string &b, size_t at, ZoneDate &d) {
    d.year = Word(b, at);
    d.month = Word(b, at + 2);
    d.dayOfWeek = Word(b, at + 4);
    d.day = Word(b, at + 6);
    d.hour = Word(b, at + 8);
    d.minute = Word(b, at + 10);
    d.second = Word(b, at + 12);
    if (d.month == 0)
        return true; // no change of time
    return d.month <= 12 && d.dayOfWeek <= 6 && d.day >= 1 && (d.year ? d.day <= 31 : d.day <= 5) &&
           d.hour <= 23 && d.minute <= 59 && d.second <= 59;
}

bool ReadInfo(const RegKey &key, const char *name, ZoneRule &rule) {
    char buffer[kZoneInfoSize + 1] = {};
    DWORD type = 0, size = sizeof buffer;
    return key.QueryValue(name, &type, buffer, &size) == ERROR_SUCCESS && type == REG_BINARY &&
           ParseZoneInfo(std::string(buffer, size), rule);
}

bool ReadDword(const RegKey &key, const char *name, DWORD &value) {
    DWORD type = 0, size = sizeof value;
    return key.QueryValue(name, &type, &value, &size) == ERROR_SUCCESS && type == REG_DWORD &&
           size == sizeof value;
}

} // namespace

bool IsZoneName(const std::string &name) {
    if (name.empty() || name.size() > 127 || name.front() == ' ' || name.back() == ' ')
        return false;
    for (unsigned char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) &&
            (c == 0 || !std::strchr(" .+-()_", c)))
            return false;
    return true;
}

bool ParseZoneInfo(const std::string &bytes, ZoneRule &rule) {
    if (bytes.size() != kZoneInfoSize)
        return false;
    ZoneRule r;
    r.bias = Long(bytes, 0);
    r.standardBias = Long(bytes, 4);
    r.daylightBias = Long(bytes, 8);
    // Offsets beyond a day are no zone's.
    for (int64_t b : {int64_t(r.bias), int64_t(r.bias) + r.standardBias, int64_t(r.bias) + r.daylightBias})
        if (b < -24 * 60 || b > 24 * 60)
            return false;
    if (!ReadDate(bytes, 12, r.standardDate) || !ReadDate(bytes, 28, r.daylightDate))
        return false;
    rule = r;
    return true;
}

bool ReadZoneRules(const std::string &name, ZoneRules &rules) {
    if (!IsZoneName(name))
        return false;
    const std::string path = std::string(kTimeZonesKey) + "\\" + name;
    ZoneRules read;
    {
        RegKey zone;
        if (zone.Open(path.c_str(), RegAccess::Read) != ERROR_SUCCESS || !ReadInfo(zone, "TZI", read.rule))
            return false;
    }
    // Years whose rules differ (Vista and later): all of them, or none.
    RegKey dynamic;
    DWORD first = 0, last = 0;
    if (dynamic.Open((path + "\\Dynamic DST").c_str(), RegAccess::Read) == ERROR_SUCCESS &&
        ReadDword(dynamic, "FirstEntry", first) && ReadDword(dynamic, "LastEntry", last) &&
        first <= last && last - first < kMostDynamicYears) {
        for (DWORD y = first; y <= last; ++y) {
            ZoneRule year;
            if (!ReadInfo(dynamic, std::to_string(y).c_str(), year)) {
                read.years.clear();
                break;
            }
            read.years[int(y)] = year;
        }
    }
    rules = read;
    return true;
}
