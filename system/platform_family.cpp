// The platform family, apart from the service control in platform.cpp: the service
// host and the installer ask for it (the log does), and take nothing else of that
// file, whose error boxes would bring the dialog framework along.
#include "system/platform.h"

#include "system/platform_calls.h"

namespace {
const DWORD kPlatformWin32Nt = 2; // VER_PLATFORM_WIN32_NT
const DWORD kRspSimpleService = 1;
const DWORD kRspUnregisterService = 0;

bool g_familyKnown = false;
bool g_isNt = false;
} // namespace

bool IsWindowsNT() {
    if (!g_familyKnown) {
        DWORD platformId = 0;
        g_isNt = QueryPlatformId(platformId) && platformId == kPlatformWin32Nt;
        g_familyKnown = true; // also after a failed query: the answer stays "not NT"
    }
    return g_isNt;
}

bool IsWindowsNTFrom(DWORD majorVersion) {
    DWORD platformId = 0, major = 0;
    return QueryPlatformVersion(platformId, major) && platformId == kPlatformWin32Nt &&
           major >= majorVersion;
}

void ForgetPlatformFamily() {
    g_familyKnown = false;
    g_isNt = false;
}

void RegisterAsServiceProcess(bool bRegister) {
    if (IsWindowsNT())
        return;
    CallRegisterServiceProcess(bRegister ? kRspSimpleService : kRspUnregisterService);
}
