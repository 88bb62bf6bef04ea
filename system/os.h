// Small platform calls the scheduler makes, one function each, with the semantics
// of the Win32 call named. Windows: os_win32.cpp. Native tests: a stand-in.
#pragma once

#include <string>

#include "framework/win32_types.h"

// GetLocaleInfoA(LOCALE_USER_DEFAULT, item, ...) into a buffer of the given size.
// False when the call fails; the buffer is then untouched.
BOOL GetUserLocaleInfo(DWORD item, char *buffer, int size);

// CreateMutexA with initial ownership. False when no handle comes back. On the NT
// family the mutex is given a null DACL (SetSecurityInfo looked up at run time).
// The handle is kept for the life of the process.
BOOL CreateInstanceMutex(const char *name, bool nullDacl, BOOL &alreadyExisted);
