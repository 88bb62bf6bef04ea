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

// This run of Windows, as the counters tell it: when it booted (the clock less the
// time since the start), how long it has been up, and how long of that it slept or
// hibernated (the real-time counter less the awake one; unknown before Windows 7).
struct RunMark {
    DWORD bootTime = 0; // seconds since 1970
    DWORD uptime = 0;   // seconds
    DWORD slept = 0;    // seconds
    bool sleptKnown = false;
};
RunMark CurrentRun();
// Whether `now` is the run of Windows `then` was taken in: no boot since (the same
// boot time, within a few minutes, and no less uptime), and no resume since (no more
// time slept, where that can be told). A fast start-up is a resume from hibernation.
bool SameRun(const RunMark &then, const RunMark &now);
// A cancel: "already_canceled" and the run it was made in.
void WriteCancel();
// Whether a cancel holds now: made in this run of Windows. A cancel of a version that
// did not record its run holds once, as it always did.
bool CancelHoldsNow();

