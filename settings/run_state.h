// Run-state values: what the running scheduler publishes in the settings key for a
// second instance, and what it remembers across runs. Failures are silent.
#pragma once

#include <string>

#include "framework/datetime.h"
#include "framework/win32_types.h"

void WriteStatusValue(const char *name, DWORD value);
// A missing value, or a missing key, reads as 0.
DWORD ReadStatusValue(const char *name);
void WriteCurrShutdownTime(const std::string &text);
// Leaves the text untouched when the key can't be opened.
void ReadCurrShutdownTime(std::string &text);
// Records now, as local wall-clock time, in "lastshutdowntime_lo" / "_hi".
void WriteLastShutdownTime();
// A time long past when nothing was recorded.
void ReadLastShutdownTime(CTime &time);
