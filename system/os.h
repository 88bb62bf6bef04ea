// Small platform calls the scheduler makes, one function each, with the semantics
// of the Win32 call named. Windows: os_win32.cpp. Native tests: a stand-in.
#pragma once

#include <string>

#include "framework/win32_types.h"

// GetLocaleInfoA(LOCALE_USER_DEFAULT, item, ...) into a buffer of the given size.
// False when the call fails; the buffer is then untouched.
BOOL GetUserLocaleInfo(DWORD item, char *buffer, int size);

// What CreateMutexA made of a name.
enum class MutexOutcome {
    Created, // a new mutex, now ours
    Existed, // ERROR_ALREADY_EXISTS: another process made it
    Denied,  // it exists, but we may not change it (ERROR_ACCESS_DENIED on create,
             // and on OpenMutexA(SYNCHRONIZE) either it opens or is denied too)
    Failed,  // no handle, and no sign that it exists (no right to create, or a
             // namespace the system doesn't know)
};

// CreateMutexA with initial ownership. On the NT family the mutex is given a null
// DACL (SetSecurityInfo looked up at run time). A handle is kept for the life of
// the process.
MutexOutcome CreateInstanceMutex(const char *name, bool nullDacl);

// The single-instance test of the scheduler: "Global\Vespra" where the system has
// the global namespace (NT 5 and later), so that a start in a user's session sees
// the service's scheduler in session 0, and "Vespra" everywhere. TRUE when another
// instance holds either. A failure to create counts as no other instance.
BOOL TakeInstanceMutexes(bool globalNamespace, bool nullDacl);
