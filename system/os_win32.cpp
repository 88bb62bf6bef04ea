#include "system/os.h"

#include <aclapi.h>

BOOL GetUserLocaleInfo(DWORD item, char *buffer, int size) {
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, size) != 0;
}

MutexOutcome CreateInstanceMutex(const char *name, bool nullDacl) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
    if (!mutex) {
        if (GetLastError() != ERROR_ACCESS_DENIED)
            return MutexOutcome::Failed;
        // Denied: either it exists with a DACL that keeps us from changing it, or we
        // may not create objects in that namespace at all. Only the first is there.
        HANDLE seen = OpenMutexA(SYNCHRONIZE, FALSE, name);
        if (seen) {
            CloseHandle(seen);
            return MutexOutcome::Denied;
        }
        return GetLastError() == ERROR_ACCESS_DENIED ? MutexOutcome::Denied : MutexOutcome::Failed;
    }
    const MutexOutcome outcome =
        GetLastError() == ERROR_ALREADY_EXISTS ? MutexOutcome::Existed : MutexOutcome::Created;
    if (nullDacl) {
        // A null DACL lets instances in every account see the mutex. The call is
        // looked up at run time because not every platform has it.
        if (HMODULE advapi = LoadLibraryA("advapi32.dll")) {
            typedef DWORD(WINAPI * SetSecurityInfoFn)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION,
                                                      PSID, PSID, PACL, PACL);
            auto fn = reinterpret_cast<SetSecurityInfoFn>(
                reinterpret_cast<void (*)()>(GetProcAddress(advapi, "SetSecurityInfo")));
            if (fn)
                fn(mutex, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                   nullptr);
            FreeLibrary(advapi);
        }
    }
    // The handle is held for the life of the process: that is what makes this the
    // single instance.
    return outcome;
}
