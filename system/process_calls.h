// The process-table seam: loading a system library and looking up its functions
// by name, and opening, terminating and closing a process. The ToolHelp32 and
// PSAPI functions are reached only through the pointers LookupFunction returns,
// so the program has no load-time dependency on either. Windows:
// process_calls_win32.cpp. Native tests: tests/support/process_calls_fake.cpp,
// scripted through tests/support/fake_processes.h.
#pragma once

#include "framework/win32_types.h"

#ifdef _WIN32
#include <tlhelp32.h>
#endif

// Any function looked up by name; cast to its own type before the call.
typedef void (*SystemFunction)();

// LoadLibraryA(name); nullptr on failure.
HMODULE LoadSystemLibrary(const char *name);
// GetProcAddress(library, name); nullptr when the function is missing.
SystemFunction LookupFunction(HMODULE library, const char *name);
// FreeLibrary(library).
void ReleaseLibrary(HMODULE library);

// OpenProcess(access, inherit, processId); nullptr on failure.
HANDLE OpenProcessById(DWORD access, BOOL inherit, DWORD processId);
// TerminateProcess(process, exitCode).
BOOL TerminateProcessHandle(HANDLE process, UINT exitCode);
// CloseHandle(handle), for process and snapshot handles alike.
void CloseProcessHandle(HANDLE handle);
// GetCurrentProcessId().
DWORD CurrentProcessId();

// The six functions looked up at run time. ToolHelp32 lives in kernel32 on the
// Windows 95/98/Me family, PSAPI in psapi.dll on the NT family.
typedef HANDLE(WINAPI *CreateToolhelp32SnapshotFn)(DWORD flags, DWORD processId);
typedef BOOL(WINAPI *Process32Fn)(HANDLE snapshot, PROCESSENTRY32 *entry);
typedef BOOL(WINAPI *EnumProcessesFn)(DWORD *ids, DWORD bytes, DWORD *bytesReturned);
typedef BOOL(WINAPI *EnumProcessModulesFn)(HANDLE process, HMODULE *modules, DWORD bytes,
                                           DWORD *bytesNeeded);
typedef DWORD(WINAPI *GetModuleBaseNameAFn)(HANDLE process, HMODULE module, char *name, DWORD size);
