#include "system/platform_calls.h"

#include <shellapi.h>

#include <cstring>

#include "framework/unique_handle.h"

namespace {
struct HandleCloser {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct LibraryFreer {
    void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
using Handle = UniqueHandle<HANDLE, HandleCloser>;
using Library = UniqueHandle<HMODULE, LibraryFreer>;

// Windows 95/98/Me only; absent from the NT family's kernel32.
typedef DWORD(WINAPI *RegisterServiceProcessFn)(DWORD processId, DWORD type);
} // namespace

BOOL QueryPlatformVersion(DWORD &platformId, DWORD &majorVersion) {
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info; // 148
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (!::GetVersionExA(&info))
        return FALSE;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    platformId = info.dwPlatformId;
    majorVersion = info.dwMajorVersion;
    return TRUE;
}

BOOL QueryPlatformId(DWORD &platformId) {
    DWORD major = 0;
    return QueryPlatformVersion(platformId, major);
}
static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA size field");

BOOL EnableTokenPrivilege(const char *privilege) {
    Handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            token.Put()))
        return FALSE;
    TOKEN_PRIVILEGES tp;
    memset(&tp, 0, sizeof tp);
    ::LookupPrivilegeValueA(nullptr, privilege, &tp.Privileges[0].Luid);
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ::AdjustTokenPrivileges(token.Get(), FALSE, &tp, 0, nullptr, nullptr);
    return TRUE;
}

BOOL CallRegisterServiceProcess(DWORD type) {
    Library kernel(::LoadLibraryA("kernel32.dll"));
    if (!kernel)
        return FALSE;
    auto fn = reinterpret_cast<RegisterServiceProcessFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel.Get(), "RegisterServiceProcess")));
    return fn ? fn(0, type) != 0 : FALSE;
}

BOOL StartProcess(const std::string &application, const std::string &commandLine, DWORD &error) {
    // CreateProcessA may write into the command line, so it gets its own buffer.
    char cmd[100];
    strncpy(cmd, commandLine.c_str(), sizeof cmd - 1);
    cmd[sizeof cmd - 1] = '\0';
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si; // 68 in the 32-bit layout
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    if (!::CreateProcessA(application.c_str(), cmd, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                          nullptr, nullptr, &si, &pi)) {
        error = ::GetLastError();
        return FALSE;
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return TRUE;
}

BOOL PlayBeep(DWORD frequency, DWORD duration) {
    return ::Beep(frequency, duration);
}

BOOL PlayMessageBeep(UINT type) {
    return ::MessageBeep(type);
}

BOOL RequestExitWindows(UINT flags, DWORD *error) {
    if (::ExitWindowsEx(flags, 0))
        return TRUE;
    if (error)
        *error = ::GetLastError();
    return FALSE;
}

std::string LogFilePath() {
    return "c:\\vespra.log";
}

namespace {
// Held while a re-launch as administrator starts; see ElevationAlreadyTried.
const char kElevationMarker[] = "VespraElevation";
typedef BOOL(WINAPI *ShellExecuteExFn)(SHELLEXECUTEINFOA *);
typedef BOOL(WINAPI *IsWow64ProcessFn)(HANDLE, BOOL *);
} // namespace

DWORD RelaunchAsAdministrator(const std::string &parameters) {
    char self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return ERROR_BAD_PATHNAME;
    Library shell(::LoadLibraryA("shell32.dll"));
    auto execute = shell ? reinterpret_cast<ShellExecuteExFn>(reinterpret_cast<void (*)()>(
                               ::GetProcAddress(shell.Get(), "ShellExecuteExA")))
                         : nullptr;
    if (!execute)
        return ERROR_PROC_NOT_FOUND;
    Handle marker(::CreateMutexA(nullptr, FALSE, kElevationMarker));
    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "runas";
    info.lpFile = self;
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!execute(&info))
        return ::GetLastError();
    if (info.hProcess) {
        // The new process looks for the marker before it shows anything.
        ::WaitForInputIdle(info.hProcess, 10000);
        ::CloseHandle(info.hProcess);
    }
    return ERROR_SUCCESS;
}

bool RunsOn64BitWindows() {
#ifdef _WIN64
    return true;
#else
    Library kernel(::LoadLibraryA("kernel32.dll"));
    auto fn = kernel ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)()>(
                           ::GetProcAddress(kernel.Get(), "IsWow64Process")))
                     : nullptr;
    BOOL wow64 = FALSE;
    return fn && fn(::GetCurrentProcess(), &wow64) && wow64;
#endif
}
