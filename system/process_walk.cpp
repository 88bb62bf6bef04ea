#include "system/process_walk.h"

#include <algorithm>
#include <cstring>

#include "framework/app.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "system/log.h"
#include "system/platform.h"
#include "system/platform_calls.h"
#include "system/process_calls.h"
#include "system/process_walk_handles.h"
#include "system/process_walk_toolhelp.h"

namespace {

using namespace process_walk;
static_assert(kKillAccess == 0x411, "OpenProcess access of the kill step");
// The NT process list; processes beyond it are not seen.
const DWORD kMaxProcesses = 1024;

void ShowError(UINT id) {
    AfxMessageBox(LoadStr(id), MB_ICONERROR);
}

bool g_noDosNoted = false;

} // namespace

int KillWithToolHelp(const char *pattern, bool silent) {
    return KillWithToolHelpReporting(pattern, silent ? nullptr : ShowError);
}

int KillWithPsapi(const char *pattern) {
    Library psapi(LoadSystemLibrary("PSAPI.DLL"));
    if (!psapi) {
        ShowError(IDS_PSAPI_LOAD_FAILED);
        return 0;
    }
    auto enumProcesses = Lookup<EnumProcessesFn>(psapi, "EnumProcesses");
    auto enumModules = Lookup<EnumProcessModulesFn>(psapi, "EnumProcessModules");
    auto baseName = Lookup<GetModuleBaseNameAFn>(psapi, "GetModuleBaseNameA");
    if (!enumProcesses || !enumModules || !baseName) {
        psapi.Reset();
        ShowError(IDS_PSAPI_PROC_FAILED);
        return 0;
    }
    DWORD ids[kMaxProcesses] = {};
    DWORD bytes = 0;
    if (!enumProcesses(ids, sizeof ids, &bytes)) {
        psapi.Reset();
        ShowError(IDS_ENUMPROCESSES_FAILED);
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
        if (ProcessNameMatches(ToLower(name), pattern)) {
            // A failure is reported for this process only.
            if (TerminateProcessHandle(process.Get(), 0))
                killed = 1;
            else
                ShowError(IDS_TERMINATE_FAILED);
        }
    }
    return killed;
}

int KillProcessesByName(const char *pattern) {
    return IsWindowsNT() ? KillWithPsapi(pattern) : KillWithToolHelp(pattern, false);
}

int KillDosProcesses() {
    // 64-bit Windows has no NTVDM, and from Vista on a console program can't hold up
    // a shut-down: there "cmd.exe" is only somebody's command prompt, which the
    // service's scheduler would end in every session.
    if (RunsOn64BitWindows() || IsWindowsNTFrom(6)) {
        if (!g_noDosNoted)
            WriteLog("No DOS programs on this system (64-bit Windows or Vista and later): none "
                     "are ended");
        g_noDosNoted = true;
        return 0;
    }
    if (!IsWindowsNT())
        return KillProcessesByName("winoa386.mod");
    const int ntvdm = KillProcessesByName("ntvdm.exe");
    return KillProcessesByName("cmd.exe") | ntvdm;
}

void ForgetDosKillerNote() {
    g_noDosNoted = false;
}

bool IsProcessRunning(const char *name) {
    return IsProcessRunning(name, false);
}

bool IsProcessRunning(const char *name, bool silent) {
    return IsProcessRunningReporting(name, silent ? nullptr : ShowError);
}
