// The native stand-in for the process-table seam: fake ToolHelp32 and PSAPI
// functions over the scripted table of tests/support/fake_processes.h.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "system/process_calls.h"
#include "system/process_walk.h"
#include "tests/support/fake_processes.h"

namespace fake {

namespace {
ProcessTable g_table;

// Library handles are the addresses of these tokens.
char g_kernel32, g_psapi, g_snapshotToken;

struct Snapshot {
    std::vector<size_t> entries; // indexes into the table, live when the snapshot was taken
    size_t next = 0;
};
Snapshot g_snapshot;

// A process handle names a table index.
const uintptr_t kProcessHandleBase = 0x10000;
HANDLE ProcessHandleOf(size_t index) {
    return reinterpret_cast<HANDLE>(kProcessHandleBase + index);
}
Process *ProcessOf(HANDLE h) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (v < kProcessHandleBase || v - kProcessHandleBase >= g_table.processes.size())
        return nullptr;
    return &g_table.processes[v - kProcessHandleBase];
}

// The module base name: the last path component, in the case it was written.
std::string BaseName(const std::string &path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Fills a ToolHelp entry as the real call does; a path of MAX_PATH characters or more
// fills the whole field without a terminator, which the reader must survive.
BOOL FillEntry(PROCESSENTRY32 *entry) {
    if (g_snapshot.next >= g_snapshot.entries.size())
        return FALSE;
    const Process &p = g_table.processes[g_snapshot.entries[g_snapshot.next++]];
    entry->th32ProcessID = p.pid;
    memset(entry->szExeFile, 0, sizeof entry->szExeFile);
    memcpy(entry->szExeFile, p.exePath.data(), std::min(p.exePath.size(), sizeof entry->szExeFile));
    return TRUE;
}

HANDLE WINAPI FakeCreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    if (g_table.snapshotFails || flags != TH32CS_SNAPPROCESS || processId != 0)
        return INVALID_HANDLE_VALUE;
    g_snapshot = Snapshot();
    for (size_t i = 0; i < g_table.processes.size(); ++i)
        if (!g_table.processes[i].terminated)
            g_snapshot.entries.push_back(i);
    ++g_table.liveHandles;
    return &g_snapshotToken;
}

BOOL WINAPI FakeProcess32First(HANDLE snapshot, PROCESSENTRY32 *entry) {
    g_table.entrySizes.push_back(entry->dwSize);
    if (snapshot != &g_snapshotToken || entry->dwSize != sizeof(PROCESSENTRY32) ||
        g_table.firstFails)
        return FALSE;
    g_snapshot.next = 0;
    return FillEntry(entry);
}

BOOL WINAPI FakeProcess32Next(HANDLE snapshot, PROCESSENTRY32 *entry) {
    if (snapshot != &g_snapshotToken || entry->dwSize != sizeof(PROCESSENTRY32))
        return FALSE;
    return FillEntry(entry);
}

BOOL WINAPI FakeEnumProcesses(DWORD *ids, DWORD bytes, DWORD *bytesReturned) {
    g_table.enumBytes = bytes;
    if (g_table.enumProcessesFails)
        return FALSE;
    DWORD n = 0;
    for (const Process &p : g_table.processes) {
        if (p.terminated)
            continue;
        if ((n + 1) * sizeof(DWORD) > bytes)
            break; // like the real call: the rest don't fit and are not reported
        ids[n++] = p.pid;
    }
    *bytesReturned = n * sizeof(DWORD);
    return TRUE;
}

BOOL WINAPI FakeEnumProcessModules(HANDLE process, HMODULE *modules, DWORD bytes,
                                   DWORD *bytesNeeded) {
    g_table.moduleBytes.push_back(bytes);
    const Process *p = ProcessOf(process);
    if (!p || p->moduleUnreadable)
        return FALSE;
    if (bytes >= sizeof(HMODULE))
        modules[0] = reinterpret_cast<HMODULE>(process);
    *bytesNeeded = sizeof(HMODULE);
    return TRUE;
}

DWORD WINAPI FakeGetModuleBaseNameA(HANDLE process, HMODULE module, char *name, DWORD size) {
    const Process *p = ProcessOf(process);
    if (!p || g_table.baseNameFails || module != reinterpret_cast<HMODULE>(process) || size == 0)
        return 0;
    // Cut to the buffer, without a terminator when the name fills it (as on NT 4).
    const std::string base = BaseName(p->exePath);
    const DWORD copied = DWORD(std::min<size_t>(base.size(), size));
    memcpy(name, base.data(), copied);
    if (copied < size)
        name[copied] = '\0';
    return copied;
}

bool Provides(HMODULE library, const std::string &name) {
    if (g_table.missingFunctions.count(name))
        return false;
    if (library == reinterpret_cast<HMODULE>(&g_kernel32))
        return name == "CreateToolhelp32Snapshot" || name == "Process32First" ||
               name == "Process32Next";
    if (library == reinterpret_cast<HMODULE>(&g_psapi))
        return name == "EnumProcesses" || name == "EnumProcessModules" ||
               name == "GetModuleBaseNameA";
    return false;
}
} // namespace

ProcessTable &Procs() {
    return g_table;
}

std::vector<Process> &Processes() {
    return g_table.processes;
}

Process &AddProcess(DWORD pid, const std::string &exePath) {
    Process p;
    p.pid = pid;
    p.exePath = exePath;
    g_table.processes.push_back(p);
    return g_table.processes.back();
}

void ResetProcesses() {
    ForgetDosKillerNote();
    g_table = ProcessTable();
    g_snapshot = Snapshot();
}

} // namespace fake

using fake::g_table;

HMODULE LoadSystemLibrary(const char *name) {
    const std::string n = name ? name : "";
    g_table.loads.push_back(n);
    if (g_table.missingLibraries.count(n))
        return nullptr;
    HMODULE library = nullptr;
    if (n == "KERNEL32.DLL")
        library = reinterpret_cast<HMODULE>(&fake::g_kernel32);
    else if (n == "PSAPI.DLL")
        library = reinterpret_cast<HMODULE>(&fake::g_psapi);
    if (library)
        ++g_table.liveLibraries;
    return library;
}

SystemFunction LookupFunction(HMODULE library, const char *name) {
    const std::string n = name ? name : "";
    if (!fake::Provides(library, n))
        return nullptr;
    if (n == "CreateToolhelp32Snapshot")
        return reinterpret_cast<SystemFunction>(&fake::FakeCreateToolhelp32Snapshot);
    if (n == "Process32First")
        return reinterpret_cast<SystemFunction>(&fake::FakeProcess32First);
    if (n == "Process32Next")
        return reinterpret_cast<SystemFunction>(&fake::FakeProcess32Next);
    if (n == "EnumProcesses")
        return reinterpret_cast<SystemFunction>(&fake::FakeEnumProcesses);
    if (n == "EnumProcessModules")
        return reinterpret_cast<SystemFunction>(&fake::FakeEnumProcessModules);
    return reinterpret_cast<SystemFunction>(&fake::FakeGetModuleBaseNameA);
}

void ReleaseLibrary(HMODULE) {
    ++g_table.releases;
    --g_table.liveLibraries;
}

HANDLE OpenProcessById(DWORD access, BOOL inherit, DWORD processId) {
    g_table.openAccess.push_back(access);
    g_table.openInherit.push_back(inherit);
    g_table.opened.push_back(processId);
    for (size_t i = 0; i < g_table.processes.size(); ++i) {
        const fake::Process &p = g_table.processes[i];
        if (p.pid == processId && !p.terminated) {
            if (!p.canOpen)
                return nullptr;
            ++g_table.liveHandles;
            return fake::ProcessHandleOf(i);
        }
    }
    return nullptr;
}

BOOL TerminateProcessHandle(HANDLE process, UINT exitCode) {
    g_table.exitCodes.push_back(exitCode);
    fake::Process *p = fake::ProcessOf(process);
    if (!p || p->terminateFails)
        return FALSE;
    p->terminated = true;
    g_table.terminatedPids.push_back(p->pid);
    return TRUE;
}

void CloseProcessHandle(HANDLE) {
    --g_table.liveHandles;
}

DWORD CurrentProcessId() {
    return g_table.currentPid;
}
