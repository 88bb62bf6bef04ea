#include "system/process_walk.h"

#include <algorithm>
#include <cstring>

#include "framework/app.h"
#include "framework/text.h"
#include "framework/unique_handle.h"
#include "resources/resource.h"
#include "system/platform.h"
#include "system/process_calls.h"

namespace {

// PROCESS_TERMINATE | PROCESS_VM_READ | PROCESS_QUERY_INFORMATION: enough to read the
// first module's name and to terminate.
const DWORD kKillAccess = PROCESS_TERMINATE | PROCESS_VM_READ | PROCESS_QUERY_INFORMATION;
static_assert(kKillAccess == 0x411, "OpenProcess access of the kill step");
// The NT process list; processes beyond it are not seen.
const DWORD kMaxProcesses = 1024;

struct LibraryReleaser {
    void operator()(HMODULE h) const { ReleaseLibrary(h); }
};
struct HandleCloser {
    void operator()(HANDLE h) const { CloseProcessHandle(h); }
};
// Each walk loads its library afresh and releases it at its end, however it ends.
using Library = UniqueHandle<HMODULE, LibraryReleaser>;
using ProcessHandle = UniqueHandle<HANDLE, HandleCloser>;

template <typename Fn> Fn Lookup(const Library &library, const char *name) {
    return reinterpret_cast<Fn>(LookupFunction(library.Get(), name));
}

void Report(UINT id, bool silent) {
    if (!silent)
        AfxMessageBox(LoadStr(id), MB_ICONERROR);
}

// Terminates an opened process; a failure is reported for this process only.
void Terminate(HANDLE process, int &killed, bool silent) {
    if (TerminateProcessHandle(process, 0))
        killed = 1;
    else
        Report(IDS_TERMINATE_FAILED, silent);
}

// Calls visit(processId, processName) for each entry of a ToolHelp snapshot until it
// returns false. The library, the functions and the snapshot come and go with it.
template <typename Visit> void WalkToolHelp(bool silent, Visit visit) {
    Library kernel(LoadSystemLibrary("KERNEL32.DLL"));
    if (!kernel) {
        Report(IDS_KERNEL32_LOAD_FAILED, silent);
        return;
    }
    auto createSnapshot = Lookup<CreateToolhelp32SnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    auto first = Lookup<Process32Fn>(kernel, "Process32First");
    auto next = Lookup<Process32Fn>(kernel, "Process32Next");
    if (!createSnapshot || !first || !next) {
        kernel.Reset();
        Report(IDS_KERNEL32_PROC_FAILED, silent);
        return;
    }
    HANDLE snapshot = createSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE || snapshot == nullptr)
        return;
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof entry);
    // The size of the record this build declares (296 bytes in a 32-bit build).
    entry.dwSize = sizeof entry;
    if (first(snapshot, &entry)) {
        do {
            if (!visit(entry.th32ProcessID, ProcessNameOf(entry.szExeFile, sizeof entry.szExeFile)))
                break;
        } while (next(snapshot, &entry));
    }
    CloseProcessHandle(snapshot);
}

} // namespace

std::string ProcessNameOf(const char *path, size_t size) {
    if (!path)
        return std::string();
    const std::string full(path, strnlen(path, size));
    // What a split into drive, directory, name and extension leaves as name plus extension.
    size_t start = full.size() >= 2 && full[1] == ':' ? 2 : 0;
    const size_t separator = full.find_last_of("\\/");
    if (separator != std::string::npos && separator + 1 > start)
        start = separator + 1;
    return ToLower(full.substr(start));
}

bool ProcessNameMatches(const std::string &processName, const char *pattern) {
    if (!pattern)
        return false;
    if (pattern[0] == '.')
        return processName.find(pattern) != std::string::npos;
    return processName == pattern;
}

int KillWithToolHelp(const char *pattern, bool silent) {
    int killed = 0;
    WalkToolHelp(silent, [&](DWORD processId, const std::string &name) {
        if (ProcessNameMatches(name, pattern)) {
            ProcessHandle process(OpenProcessById(kKillAccess, FALSE, processId));
            if (process)
                Terminate(process.Get(), killed, silent);
        }
        return true;
    });
    return killed;
}

int KillWithPsapi(const char *pattern) {
    Library psapi(LoadSystemLibrary("PSAPI.DLL"));
    if (!psapi) {
        Report(IDS_PSAPI_LOAD_FAILED, false);
        return 0;
    }
    auto enumProcesses = Lookup<EnumProcessesFn>(psapi, "EnumProcesses");
    auto enumModules = Lookup<EnumProcessModulesFn>(psapi, "EnumProcessModules");
    auto baseName = Lookup<GetModuleBaseNameAFn>(psapi, "GetModuleBaseNameA");
    if (!enumProcesses || !enumModules || !baseName) {
        psapi.Reset();
        Report(IDS_PSAPI_PROC_FAILED, false);
        return 0;
    }
    DWORD ids[kMaxProcesses] = {};
    DWORD bytes = 0;
    if (!enumProcesses(ids, sizeof ids, &bytes)) {
        psapi.Reset();
        Report(IDS_ENUMPROCESSES_FAILED, false);
        return 0;
    }
    const DWORD count = std::min<DWORD>(bytes / sizeof ids[0], kMaxProcesses);
    const DWORD self = CurrentProcessId();
    int killed = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (ids[i] == self)
            continue;
        ProcessHandle process(OpenProcessById(kKillAccess, FALSE, ids[i]));
        if (!process)
            continue;
        std::string name = "unknown";
        HMODULE first = nullptr;
        DWORD needed = 0;
        if (enumModules(process.Get(), &first, sizeof first, &needed)) {
            char buffer[MAX_PATH];
            buffer[0] = '\0';
            const DWORD length = baseName(process.Get(), first, buffer, sizeof buffer);
            if (length)
                name =
                    std::string(buffer, strnlen(buffer, std::min<size_t>(length, sizeof buffer)));
        }
        if (ProcessNameMatches(ToLower(name), pattern))
            Terminate(process.Get(), killed, false);
    }
    return killed;
}

int KillProcessesByName(const char *pattern) {
    return IsWindowsNT() ? KillWithPsapi(pattern) : KillWithToolHelp(pattern, false);
}

int KillDosProcesses() {
    if (!IsWindowsNT())
        return KillProcessesByName("winoa386.mod");
    const int ntvdm = KillProcessesByName("ntvdm.exe");
    return KillProcessesByName("cmd.exe") | ntvdm;
}

bool IsProcessRunning(const char *name) {
    return IsProcessRunning(name, false);
}

bool IsProcessRunning(const char *name, bool silent) {
    if (!name)
        return false;
    const std::string wanted = ToLower(name);
    bool found = false;
    WalkToolHelp(silent, [&](DWORD, const std::string &processName) {
        found = processName == wanted;
        return !found;
    });
    return found;
}
