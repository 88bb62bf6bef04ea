// The small Win32 calls behind the platform helpers, the log and the beeps, one
// function each with the semantics of the call named. Windows:
// platform_calls_win32.cpp. Native tests: tests/support/platform_calls_fake.cpp,
// scripted through tests/support/fake_platform.h.
#pragma once

#include <string>

#include "framework/win32_types.h"

// GetVersionExA with an OSVERSIONINFOA whose size field is 148. On success the
// platform id (VER_PLATFORM_WIN32_NT = 2 on the NT family) goes to platformId.
BOOL QueryPlatformId(DWORD &platformId);
// The same query, also giving the major version (5: 2000/XP/2003, 6 and later:
// Vista on, where session 0 is isolated).
BOOL QueryPlatformVersion(DWORD &platformId, DWORD &majorVersion);

// OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY),
// LookupPrivilegeValueA(nullptr, privilege) and AdjustTokenPrivileges with that one
// privilege enabled. FALSE only when the token can't be opened; the results of the
// look-up and the adjustment are not examined.
BOOL EnableTokenPrivilege(const char *privilege);

// RegisterServiceProcess(0, type), looked up in kernel32.dll at run time and the
// library released afterwards. FALSE when the library or the function is missing
// (the NT family's kernel32 need not have it), else the function's result, which
// the caller ignores.
BOOL CallRegisterServiceProcess(DWORD type);

// CreateProcessA(application, commandLine, no inherited handles,
// NORMAL_PRIORITY_CLASS, our environment and current directory, a zeroed
// STARTUPINFOA). The command line goes through a 100-character buffer, as the
// callers' texts are short. On failure error receives GetLastError(); on success
// the process and thread handles are closed at once, as nobody waits for the child.
BOOL StartProcess(const std::string &application, const std::string &commandLine, DWORD &error);

// Beep(frequency, duration) and MessageBeep(type); their results, which the
// callers ignore, are returned for the tests of the real calls.
BOOL PlayBeep(DWORD frequency, DWORD duration);
BOOL PlayMessageBeep(UINT type);

// ExitWindowsEx(flags, 0): asks Windows to shut down, restart or log off. On failure
// *error, when given, receives GetLastError().
BOOL RequestExitWindows(UINT flags, DWORD *error = nullptr);

// The diagnostic log file: "c:\vespra.log" on Windows.
std::string LogFilePath();

// ---- Settings from a standard user's start

// Whether this process may write the settings key: RegCreateKeyExA(HKLM\SOFTWARE\Vespra,
// KEY_SET_VALUE) succeeds (the key is closed at once). In settings_access_win32.cpp
// with ElevationAlreadyTried and nothing else, so that a test program can link a
// stand-in for both.
bool CanWriteSettingsKey();
// Whether asking for elevation again would be pointless: the process token is
// elevated already (TokenElevation), or it was started by RelaunchAsAdministrator
// whose caller still waits (its marker mutex exists).
bool ElevationAlreadyTried();
// ShellExecuteExA (looked up in shell32.dll at run time) with the verb "runas" on
// this program and the parameters given, holding the marker mutex until the new
// process waits for input (at most 10 s). ERROR_SUCCESS, or the error:
// ERROR_CANCELLED (1223) when the user refused the elevation.
DWORD RelaunchAsAdministrator(const std::string &parameters);

// Whether this is 64-bit Windows: a 64-bit build, or IsWow64Process (looked up in
// kernel32.dll at run time) says so.
bool RunsOn64BitWindows();
