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
    return ::TerminateProcess(process, exitCode);
}

void CloseProcessHandle(HANDLE handle) {
    ::CloseHandle(handle);
}

DWORD CurrentProcessId() {
    return ::GetCurrentProcessId();
}
