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
    UserMade, // it exists, but its owner is neither SYSTEM nor the administrators:
              // a user's process made it first, so it is no instance of ours
};

// CreateMutexA with initial ownership. Secured (the NT family), the mutex gets
// kInstanceMutexSddl (security/permissions.h), and an existing one is asked who owns it.
// A handle to a mutex of ours is kept for the life of the process.
MutexOutcome CreateInstanceMutex(const char *name, bool secured);

// The single-instance test of the scheduler: "Global\Vespra" where the system has
// the global namespace (NT 5 and later), so that a start in a user's session sees
// the service's scheduler in session 0, and "Vespra" everywhere. TRUE when another
// instance holds either. A failure to create counts as no other instance, and so
// does a mutex a user made (logged).
BOOL TakeInstanceMutexes(bool globalNamespace, bool secured);

// The machine's time zone by the name of its key under the registry's "Time Zones":
// TimeZoneKeyName of GetDynamicTimeZoneInformation (Vista and later, looked up at
// run time), else the StandardName of GetTimeZoneInformation. False when neither
// gives a name.
BOOL GetMachineTimeZoneName(std::string &name);
