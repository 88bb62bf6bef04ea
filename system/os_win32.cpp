#include "system/os.h"

#include "security/permissions_win32.h"

BOOL GetUserLocaleInfo(DWORD item, char *buffer, int size) {
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, size) != 0;
}

namespace {
// What an existing mutex of this name is to us: another instance, unless a user's
// process made it first (its owner is neither SYSTEM nor the administrators) to
// make every scheduler take itself for a second one.
MutexOutcome Existing(HANDLE handle, MutexOutcome outcome) {
    Principal owner = Principal::Nobody;
    if (handle && KernelObjectOwner(handle, owner) && !IsSystemOwner(owner))
        return MutexOutcome::UserMade;
    return outcome;
}
} // namespace

MutexOutcome CreateInstanceMutex(const char *name, bool secured) {
    HANDLE mutex = nullptr;
    SddlDescriptor owned(secured ? kInstanceMutexSddl : nullptr);
    if (owned.Get()) {
        mutex = CreateMutexA(owned.Attributes(), TRUE, name);
        if (!mutex && GetLastError() == ERROR_INVALID_OWNER) {
            // A start by a user who is no administrator: the DACL alone.
            SddlDescriptor plain(kInstanceMutexSddlNoOwner);
            mutex = plain.Get() ? CreateMutexA(plain.Attributes(), TRUE, name) : nullptr;
        }
    } else {
        // Not secured, or no SDDL on this system (NT 4): the system's default
        // security, which lets in only the creator and SYSTEM.
        mutex = CreateMutexA(nullptr, TRUE, name);
    }
    if (!mutex) {
        if (GetLastError() != ERROR_ACCESS_DENIED)
            return MutexOutcome::Failed;
        // Denied: either it exists with a DACL that keeps us from changing it, or we
        // may not create objects in that namespace at all. Only the first is there.
        HANDLE seen = OpenMutexA(READ_CONTROL, FALSE, name);
        if (seen) {
            const MutexOutcome outcome = secured ? Existing(seen, MutexOutcome::Denied)
                                                 : MutexOutcome::Denied;
            CloseHandle(seen);
            return outcome;
        }
        if (GetLastError() != ERROR_ACCESS_DENIED)
            return MutexOutcome::Failed;
        // Ours let everyone read its owner; one that doesn't is someone else's.
        return secured ? MutexOutcome::UserMade : MutexOutcome::Denied;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        const MutexOutcome outcome =
            secured ? Existing(mutex, MutexOutcome::Existed) : MutexOutcome::Existed;
        if (outcome == MutexOutcome::UserMade)
            CloseHandle(mutex);
        return outcome;
    }
    // The handle is held for the life of the process: that is what makes this the
    // single instance.
    return MutexOutcome::Created;
}

namespace {
// DYNAMIC_TIME_ZONE_INFORMATION, which the XP headers we build with lack.
struct DynamicZoneInfo {
    TIME_ZONE_INFORMATION info;
    WCHAR TimeZoneKeyName[128];
    BOOLEAN DynamicDaylightTimeDisabled;
};
using GetDynamicZone = DWORD(WINAPI *)(DynamicZoneInfo *);
using GetZone = DWORD(WINAPI *)(TIME_ZONE_INFORMATION *);

std::string Narrow(const WCHAR *text, int chars) {
    char out[256] = {};
    int n = 0;
    while (n < chars && text[n])
        ++n;
    const int got = n ? WideCharToMultiByte(CP_ACP, 0, text, n, out, sizeof out - 1, nullptr, nullptr) : 0;
    return std::string(out, size_t(got > 0 ? got : 0));
}
} // namespace

BOOL GetMachineTimeZoneName(std::string &name) {
    // Both looked up at run time: the newer is Vista's, and the older stays off the
    // import table, which holds only what the XP list checked at build time has.
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    const auto dynamic = reinterpret_cast<GetDynamicZone>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "GetDynamicTimeZoneInformation")));
    const auto plain = reinterpret_cast<GetZone>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "GetTimeZoneInformation")));
    DynamicZoneInfo zone = {};
    if (dynamic && dynamic(&zone) != TIME_ZONE_ID_INVALID)
        name = Narrow(zone.TimeZoneKeyName, 128);
    else
        name.clear();
    if (name.empty() && plain && plain(&zone.info) != TIME_ZONE_ID_INVALID)
        name = Narrow(zone.info.StandardName, 32);
    return name.empty() ? FALSE : TRUE;
}
