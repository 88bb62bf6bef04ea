// Terminating processes by the file name of their executable, and asking whether a
// program of a given name runs. Two walks: PSAPI on the NT family, ToolHelp32 on
// Windows 95/98/Me, both looked up at run time.
#pragma once

#include <cstddef>
#include <string>

// Terminates every process whose name matches the pattern (see ProcessNameMatches):
// the PSAPI walk on the NT family, which never terminates the calling process, else
// the ToolHelp walk. 1 when at least one process was terminated, else 0. Failures
// show their message and end the walk, never the caller.
int KillProcessesByName(const char *pattern);

// Terminates the DOS programs that would block a shut-down: "ntvdm.exe" and then
// "cmd.exe" on the NT family, "winoa386.mod" on Windows 95/98/Me. 1 when any was
// terminated. On 64-bit Windows and on NT 6 and later it ends nothing and says so
// in the log, once per process.
int KillDosProcesses();
// Tests only: the note is logged again, as in a fresh process.
void ForgetDosKillerNote();

// Whether a process whose name equals this one, ignoring case, runs. Always the
// ToolHelp walk: only the Windows 95/98/Me log-on test asks. Shows messages 95 and
// 96 when the ToolHelp functions can't be had, unless silent.
bool IsProcessRunning(const char *name);
bool IsProcessRunning(const char *name, bool silent);

// The two walks behind KillProcessesByName, for a caller that chooses the walk
// itself. silent: no message boxes at all (the installer stops the scheduler on
// Windows 95/98/Me without any). The ToolHelp walk does not spare the caller.
int KillWithToolHelp(const char *pattern, bool silent);
int KillWithPsapi(const char *pattern);
// KillWithToolHelp(pattern, true), in the ToolHelp walk's own file: a program that
// needs only this (the installer) links none of the message-box framework.
int KillWithToolHelpSilently(const char *pattern);

// The process name of an executable path: file name and extension, lower-cased.
// Reads at most size characters, so a field without its terminator is safe.
std::string ProcessNameOf(const char *path, size_t size);
// The name rule: a pattern beginning with "." matches any name containing it; any
// other pattern must equal the name byte for byte (so one in capitals never matches).
bool ProcessNameMatches(const std::string &processName, const char *pattern);
