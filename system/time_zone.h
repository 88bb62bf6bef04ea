// The time zones Windows knows, by their key names under
// HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Time Zones: the schedule keeps the
// zone its times were set in, and its rules come from there.
#pragma once

#include <string>

#include "framework/zone.h"

extern const char *const kTimeZonesKey;

// A name that may be looked up as a key of its own, as Windows names its zones: 1 to
// 127 ASCII letters, digits, blanks and ".+-()_", no blank at either end. The stores
// take nothing else (a localised standard name of XP's is the machine's zone then).
bool IsZoneName(const std::string &name);

// A "TZI" value (REG_TZI_FORMAT: three LONG biases, the standard and the daylight
// SYSTEMTIME, 44 bytes); false when it is not one or its dates are not dates.
bool ParseZoneInfo(const std::string &bytes, ZoneRule &rule);

// The zone's rules: its "TZI", and each year of its "Dynamic DST" key where it has
// one. False when the name is not a zone's key or its "TZI" can't be read.
bool ReadZoneRules(const std::string &name, ZoneRules &rules);
