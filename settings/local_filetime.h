// The FILETIME layout of a local wall-clock time, as SystemTimeToFileTime and
// FileTimeToSystemTime compute it: 100-ns intervals since 1 January 1601 in the
// proleptic Gregorian calendar, with no time zone applied. Plain arithmetic, so it
// is exact and the same on every platform.
#pragma once

#include <cstdint>
#include <ctime>

// From broken-down fields (tm_year, tm_mon, tm_mday, tm_hour, tm_min, tm_sec).
// Milliseconds are 0, as for a time broken down to the second.
uint64_t FileTimeFromFields(const struct tm &fields);

// Back to fields (tm_isdst is -1: daylight saving is for the C library to decide).
// False, as FileTimeToSystemTime, when the value does not fit in 63 bits.
bool FieldsFromFileTime(uint64_t fileTime, struct tm &fields);
