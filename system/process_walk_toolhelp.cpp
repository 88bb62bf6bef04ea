#include "system/process_walk_toolhelp.h"

#include <cstring>

#include "framework/text.h"
#include "resources/resource.h"
#include "system/process_calls.h"
#include "system/process_walk_handles.h"
#include "system/process_walk.h"

namespace {

using namespace process_walk;

void Report(WalkReport report, UINT id) {
    if (report)
        report(id);
}

// Calls visit(processId, processName) for each entry of a ToolHelp snapshot until it
// returns false. The library, the functions and the snapshot come and go with it.
template <typename Visit> void WalkToolHelp(WalkReport report, Visit visit) {
    Library kernel(LoadSystemLibrary("KERNEL32.DLL"));
    if (!kernel) {
        Report(report, IDS_KERNEL32_LOAD_FAILED);
        return;
    }
    auto createSnapshot = Lookup<CreateToolhelp32SnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    auto first = Lookup<Process32Fn>(kernel, "Process32First");
    auto next = Lookup<Process32Fn>(kernel, "Process32Next");
    if (!createSnapshot || !first || !next) {
        kernel.Reset();
        Report(report, IDS_KERNEL32_PROC_FAILED);
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

int KillWithToolHelpReporting(const char *pattern, WalkReport report) {
    int killed = 0;
    WalkToolHelp(report, [&](DWORD processId, const std::string &name) {
        if (ProcessNameMatches(name, pattern)) {
            ProcessHandle process(OpenProcessById(kKillAccess, FALSE, processId));
            if (process) {
                // A failure is reported for this process only.
                if (TerminateProcessHandle(process.Get(), 0))
                    killed = 1;
                else
                    Report(report, IDS_TERMINATE_FAILED);
            }
        }
        return true;
    });
    return killed;
}

bool IsProcessRunningReporting(const char *name, WalkReport report) {
    if (!name)
        return false;
    const std::string wanted = ToLower(name);
    bool found = false;
    WalkToolHelp(report, [&](DWORD, const std::string &processName) {
        found = processName == wanted;
        return !found;
    });
    return found;
}

int KillWithToolHelpSilently(const char *pattern) {
    return KillWithToolHelpReporting(pattern, nullptr);
}
