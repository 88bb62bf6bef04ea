// The native stand-in behind system/process_calls.h: a scripted process table
// served through fake ToolHelp32 and PSAPI functions, libraries and functions that
// can be made missing, and a record of what the program loaded, opened, terminated
// and closed.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "framework/win32_types.h"

namespace fake {

struct Process {
    DWORD pid = 0;
    std::string exePath;           // szExeFile; its last component is the module base name
    bool canOpen = true;           // OpenProcess succeeds
    bool terminateFails = false;   // TerminateProcess fails
    bool moduleUnreadable = false; // EnumProcessModules fails for it
    bool terminated = false;       // record; a terminated process leaves later walks
};

struct ProcessTable {
    // Answers. The default: every library and function there, every call succeeds.
    std::vector<Process> processes;         // in snapshot and EnumProcesses order
    DWORD currentPid = 4000;                // GetCurrentProcessId
    std::set<std::string> missingLibraries; // "KERNEL32.DLL", "PSAPI.DLL"
    std::set<std::string> missingFunctions; // e.g. "Process32Next"
    bool snapshotFails = false;             // CreateToolhelp32Snapshot gives INVALID_HANDLE_VALUE
    bool firstFails = false;                // Process32First fails
    bool enumProcessesFails = false;        // EnumProcesses fails
    bool baseNameFails = false;             // GetModuleBaseNameA fails for every process

    // Record.
    std::vector<std::string> loads; // library names asked for, also the failed ones
    int releases = 0;
    int liveLibraries = 0;             // loaded and not yet released
    int liveHandles = 0;               // processes and snapshots opened and not closed
    std::vector<DWORD> openAccess;     // the access mask of every OpenProcess
    std::vector<DWORD> opened;         // process ids, also the failed attempts
    std::vector<BOOL> openInherit;     // the inherit flag of every OpenProcess
    std::vector<DWORD> entrySizes;     // the size field Process32First saw
    DWORD enumBytes = 0;               // the buffer size EnumProcesses was given
    std::vector<DWORD> moduleBytes;    // the room EnumProcessModules was given
    std::vector<DWORD> terminatedPids; // successful terminations, in order
    std::vector<UINT> exitCodes;       // the exit code of every TerminateProcess
};

ProcessTable &Procs();
// The scripted table itself, for tests that only need processes.
std::vector<Process> &Processes();
// Adds a process and returns it.
Process &AddProcess(DWORD pid, const std::string &exePath);
void ResetProcesses();

} // namespace fake
