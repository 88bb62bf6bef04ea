#include "framework/shell.h"

#include <shellapi.h>

#include "framework/late_bound_win32.h"
#include "framework/mirror.h"

namespace {
// Whether this process runs as LocalSystem, as the service's scheduler does.
bool RunsAsSystem() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    BYTE buffer[256] = {};
    DWORD size = 0;
    bool system = false;
    if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID local = nullptr;
        if (::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                       &local)) {
            system = ::EqualSid(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, local) != FALSE;
            ::FreeSid(local);
        }
    }
    ::CloseHandle(token);
    return system;
}
} // namespace

BOOL ShellOpen(const std::string &file) {
    // In session 0 the user's agent opens it, as the user.
    if (DialogMirror *mirror = GetDialogMirror())
        return mirror->ShellOpen(file) ? TRUE : FALSE;
    // A browser or mail program must never run as the system: the service's
    // scheduler opens nothing on the desktop it shares with the user.
    if (RunsAsSystem())
        return FALSE;
    const auto open = VESPRA_LATE_BOUND("shell32.dll", ShellExecuteA);
    if (!open)
        return FALSE;
    HINSTANCE result = open(nullptr, nullptr, file.c_str(), "", "", SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32 ? TRUE : FALSE;
}
