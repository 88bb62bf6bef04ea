// Platform family, shut-down privilege, service-process registration and beeps
// through the real API.
#include <gtest/gtest.h>

#include <vector>

#include "system/platform.h"
#include "system/platform_calls.h"

namespace {

// Whether SeShutdownPrivilege is enabled in our process token.
bool ShutdownPrivilegeEnabled() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    LUID luid;
    bool enabled = false;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size ? size : 1);
    if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid) &&
        GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto *privileges = reinterpret_cast<const TOKEN_PRIVILEGES *>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES &p = privileges->Privileges[i];
            if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
                enabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

void DisableShutdownPrivilege() {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid));
    tp.Privileges[0].Attributes = 0;
    AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
    CloseHandle(token);
}

TEST(Platform, WineIsOfTheNtFamily) {
    EXPECT_TRUE(IsWindowsNT());
    DWORD id = 0;
    ASSERT_TRUE(QueryPlatformId(id));
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_NT), id);
    DWORD major = 0;
    ASSERT_TRUE(QueryPlatformVersion(id, major));
    EXPECT_EQ(DWORD(LOBYTE(LOWORD(GetVersion()))), major); // what the installer's choice rests on
}

TEST(Platform, ShutdownPrivilegeGetsEnabledInTheToken) {
    DisableShutdownPrivilege();
    ASSERT_FALSE(ShutdownPrivilegeEnabled());
    // Succeeds without a message box: one would block this call.
    EnableShutdownPrivilege();
    EXPECT_TRUE(ShutdownPrivilegeEnabled());
}

TEST(Platform, ServiceProcessRegistrationIsLookedUpAtRunTime) {
    // Wine's kernel32 keeps the Windows 95/98/Me entry point as a stub that accepts
    // the call: found by name at run time and called with the right signature.
    EXPECT_TRUE(CallRegisterServiceProcess(1));
    EXPECT_TRUE(CallRegisterServiceProcess(0));
}

TEST(Platform, BeepsAreAccepted) {
    EXPECT_TRUE(PlayBeep(400, 100));
    EXPECT_TRUE(PlayMessageBeep(MB_ICONASTERISK));
}

} // namespace
