// Whether this process may change the settings, alone in its file so that a test
// program can link a stand-in instead (Wine lets every write through).
#include "system/platform_calls.h"
#include "system/registry.h"

bool CanWriteSettingsKey() {
    HKEY key = nullptr;
    // KEY_SET_VALUE only: a standard user may read the key, never write it.
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

bool ElevationAlreadyTried() {
    // A re-launch of ours that could not write either must not ask again: with UAC
    // off, "runas" starts the same user without a prompt, and would for ever.
    if (HANDLE marker = ::OpenMutexA(SYNCHRONIZE, FALSE, "VespraElevation")) {
        ::CloseHandle(marker);
        return true;
    }
    if (::GetLastError() == ERROR_ACCESS_DENIED) // made by the account we were started from
        return true;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    // TOKEN_ELEVATION of TokenElevation (20); the class is unknown before Vista.
    DWORD elevated = 0, size = 0;
    const bool known = ::GetTokenInformation(token, TOKEN_INFORMATION_CLASS(20), &elevated,
                                             sizeof elevated, &size) != FALSE;
    ::CloseHandle(token);
    return known && elevated != 0;
}
