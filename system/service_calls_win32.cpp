#include "system/service_calls.h"

const char *const kServiceName = "Vespra";

DWORD LastErrorCode() {
    return ::GetLastError();
}

void SetLastErrorCode(DWORD error) {
    ::SetLastError(error);
}

void ShowWarningBox(const std::string &text, const char *caption) {
    ::MessageBoxA(nullptr, text.c_str(), caption, MB_ICONWARNING);
}

void PauseFor(DWORD ms) {
    ::Sleep(ms);
}

BOOL WaitForMutexFree(const char *name, DWORD timeoutMs) {
    HANDLE mutex = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    if (!mutex)
        return TRUE;
    const DWORD result = ::WaitForSingleObject(mutex, timeoutMs);
    const bool taken = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    if (taken)
        ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    return taken;
}
