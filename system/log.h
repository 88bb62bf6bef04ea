// The diagnostic log and the per-tick beep, each behind a switch in the registry
// that is read once per process.
#pragma once

#include <string>

// Appends "MM/DD/YY HH:MM:SS: text" and one line end to the log when "logfile" is on.
void WriteLog(const std::string &text);
// The same line, whatever the switch says: the service host keeps its own switch.
// One open, append and close; a file that can't be opened drops the line.
// In log_line.cpp, so a program can have the line without the switch's registry reader.
void AppendLogLine(const std::string &text);
// Beeps once when "beep" is on.
void TimerBeep();
// Tests only: forgets that the log file's security was looked at and that a failure
// was reported, as a fresh process would.
void ForgetLogFileChecks();
// Tests only: forgets both switches, so the next call reads them again as the
// first call of a fresh process would.
void ForgetLogSwitches();
