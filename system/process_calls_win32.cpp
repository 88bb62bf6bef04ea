#include "system/process_calls.h"

HMODULE LoadSystemLibrary(const char *name) {
    return ::LoadLibraryA(name);
}

SystemFunction LookupFunction(HMODULE library, const char *name) {
    // Through void (*)(): GCC accepts that as the generic function pointer type.
    return reinterpret_cast<SystemFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

void ReleaseLibrary(HMODULE library) {
    ::FreeLibrary(library);
}

HANDLE OpenProcessById(DWORD access, BOOL inherit, DWORD processId) {
    return ::OpenProcess(access, inherit, processId);
}

BOOL TerminateProcessHandle(HANDLE process, UINT exitCode) {
    if (!::TerminateProcess(process, exitCode))
        return FALSE;
    // TerminateProcess only starts the end; what the caller does next (a refusal shown
    // over the uninstaller, a shut-down) must follow the real end. The exit code stays
    // STILL_ACTIVE until then (the kill handle has no SYNCHRONIZE right to wait on).
    constexpr DWORD kStepMs = 10, kMostMs = 5000;
    DWORD code = STILL_ACTIVE;
    for (DWORD waited = 0;
         waited < kMostMs && ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
         waited += kStepMs)
        ::Sleep(kStepMs);
    return TRUE;
}

void CloseProcessHandle(HANDLE handle) {
    ::CloseHandle(handle);
}

DWORD CurrentProcessId() {
    return ::GetCurrentProcessId();
}
