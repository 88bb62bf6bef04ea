// The diagnostic log and the per-tick beep, each behind a switch in the registry
// that is read once per process.
#pragma once

#include <string>

// Appends "MM/DD/YY HH:MM:SS: text" and one line end to the log when "logfile" is on.
void WriteLog(const std::string &text);
// Beeps once when "beep" is on.
void TimerBeep();
// Tests only: forgets both switches, so the next call reads them again as the
// first call of a fresh process would.
void ForgetLogSwitches();
