#include "system/os.h"

#include "system/security_win32.h"

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
