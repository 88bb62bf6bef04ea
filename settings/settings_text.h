// The text forms of the per-day lists in the two stores: the registry's "days" and
// "times" (separated by spaces) and the INI file's "days" and "time" (separated by
// commas). Pure text, so the readers can be exercised on arbitrary input.
#pragma once

#include <cstdint>
#include <string>

#include "settings/schedule_settings.h"

// sscanf-style scanning of a format made of "%u", "%d", white space (any amount of
// white space in the text, none included) and other characters (matched exactly).
// Stops at the first mismatch. Values are 32-bit: "%u" takes an optional sign and
// wraps a negative number as the C library does; a number too large for 32 bits
// reads as 0xFFFFFFFF ("%u") or INT_MAX / INT_MIN ("%d"). Returns the number of
// values stored into out (at most maxOut).
int ScanNumbers(const char *text, const char *format, uint32_t *out, int maxOut);

// Registry: "1 1 1 1 1 0 0" and "23:00 23:00 ...", Sunday first.
std::string FormatRegistryDays(const BOOL days[kDays]);
std::string FormatRegistryTimes(const int hours[kDays], const int minutes[kDays]);
// INI file: "1,1,1,1,1,0,0" and "23:00,23:00,...", Sunday first.
std::string FormatIniDays(const BOOL days[kDays]);
std::string FormatIniTimes(const int hours[kDays], const int minutes[kDays]);

// Readers. A day whose number (or whose hour and minute) can't be read keeps its
// current value; scanning stops at the first thing that does not fit the format,
// so a short list leaves the later days as they were. Return the days read.
int ParseRegistryDays(const char *text, BOOL days[kDays]);
int ParseRegistryTimes(const char *text, int hours[kDays], int minutes[kDays]);
int ParseIniDays(const char *text, BOOL days[kDays]);
int ParseIniTimes(const char *text, int hours[kDays], int minutes[kDays]);

// True when the time is outside 0:00..23:59, the hour and minute taken as unsigned.
bool IsTimeOutOfRange(int hour, int minute);
