#include "settings/settings_text.h"

#include <climits>

#include "framework/text.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One "%u" or "%d" conversion at p. False when no digits follow (sign included).
bool ScanOne(const char *&p, bool isSigned, uint32_t &value) {
    const char *q = p;
    while (IsSpace(*q))
        ++q;
    bool negative = false;
    if (*q == '+' || *q == '-') {
        negative = *q == '-';
        ++q;
    }
    if (!IsDigit(*q))
        return false;
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; IsDigit(*q); ++q) {
        if (!overflow) {
            magnitude = magnitude * 10 + uint64_t(*q - '0');
            if (magnitude > 0xFFFFFFFFull)
                overflow = true;
        }
    }
    if (isSigned) {
        const int64_t limit = negative ? -int64_t(INT_MIN) : int64_t(INT_MAX);
        if (overflow || int64_t(magnitude) > limit)
            value = negative ? uint32_t(INT_MIN) : uint32_t(INT_MAX);
        else
            value = uint32_t(negative ? -int64_t(magnitude) : int64_t(magnitude));
    } else if (overflow) {
        value = 0xFFFFFFFFu;
    } else {
        value = negative ? uint32_t(0u - uint32_t(magnitude)) : uint32_t(magnitude);
    }
    p = q;
    return true;
}

// Reads seven pairs "hour<colon>minute" with the given separator format; a pair is
// taken only when both of its numbers were read.
int ParseTimes(const char *text, const char *format, int hours[kDays], int minutes[kDays]) {
    uint32_t v[2 * kDays];
    const int n = ScanNumbers(text, format, v, 2 * kDays);
    for (int d = 0; d < n / 2; ++d) {
        hours[d] = int(v[2 * d]);
        minutes[d] = int(v[2 * d + 1]);
    }
    return n / 2;
}

int ParseDays(const char *text, const char *format, BOOL days[kDays]) {
    uint32_t v[kDays];
    const int n = ScanNumbers(text, format, v, kDays);
    for (int d = 0; d < n; ++d)
        days[d] = BOOL(v[d]);
    return n;
}

} // namespace

int ScanNumbers(const char *text, const char *format, uint32_t *out, int maxOut) {
    int stored = 0;
    const char *p = text;
    for (const char *f = format; *f; ++f) {
        if (IsSpace(*f)) {
            while (IsSpace(*p))
                ++p;
        } else if (f[0] == '%' && (f[1] == 'u' || f[1] == 'd')) {
            uint32_t value = 0;
            if (stored >= maxOut || !ScanOne(p, f[1] == 'd', value))
                break;
            out[stored++] = value;
            ++f;
        } else {
            if (*p != *f)
                break;
            ++p;
        }
    }
    return stored;
}

std::string FormatRegistryDays(const BOOL d[kDays]) {
    return StrFormat("%u %u %u %u %u %u %u", UINT(d[0]), UINT(d[1]), UINT(d[2]), UINT(d[3]),
                     UINT(d[4]), UINT(d[5]), UINT(d[6]));
}

std::string FormatIniDays(const BOOL d[kDays]) {
    return StrFormat("%u,%u,%u,%u,%u,%u,%u", UINT(d[0]), UINT(d[1]), UINT(d[2]), UINT(d[3]),
                     UINT(d[4]), UINT(d[5]), UINT(d[6]));
}

static std::string FormatTimes(const int h[kDays], const int m[kDays], char separator) {
    std::string out;
    for (int d = 0; d < kDays; ++d) {
        if (d)
            out += separator;
        out += StrFormat("%u:%02u", UINT(h[d]), UINT(m[d]));
    }
    return out;
}

std::string FormatRegistryTimes(const int h[kDays], const int m[kDays]) {
    return FormatTimes(h, m, ' ');
}

std::string FormatIniTimes(const int h[kDays], const int m[kDays]) {
    return FormatTimes(h, m, ',');
}

int ParseRegistryDays(const char *text, BOOL days[kDays]) {
    return ParseDays(text, "%u %u %u %u %u %u %u", days);
}

int ParseIniDays(const char *text, BOOL days[kDays]) {
    return ParseDays(text, "%u,%u,%u,%u,%u,%u,%u", days);
}

int ParseRegistryTimes(const char *text, int hours[kDays], int minutes[kDays]) {
    return ParseTimes(text, "%u:%u %u:%u %u:%u %u:%u %u:%u %u:%u %u:%u", hours, minutes);
}

int ParseIniTimes(const char *text, int hours[kDays], int minutes[kDays]) {
    return ParseTimes(text, "%d:%d,%d:%d,%d:%d,%d:%d,%d:%d,%d:%d,%d:%d", hours, minutes);
}

bool IsTimeOutOfRange(int hour, int minute) {
    return UINT(hour) > 23 || UINT(minute) > 59;
}
