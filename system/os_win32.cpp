#include "system/os.h"

#include <aclapi.h>

BOOL GetUserLocaleInfo(DWORD item, char *buffer, int size) {
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, size) != 0;
}

BOOL CreateInstanceMutex(const char *name, bool nullDacl, BOOL &alreadyExisted) {
    alreadyExisted = FALSE;
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name);
    if (!mutex)
        return FALSE;
    alreadyExisted = GetLastError() == ERROR_ALREADY_EXISTS;
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
    return TRUE;
}
