// The input-desktop seam: the name of the desktop that receives the user's input.
// Windows: desktop_calls_win32.cpp. Native tests: tests/support/os_fake.cpp,
// scripted through fake::Os (tests/support/fake_os.h).
#pragma once

#include <string>

#include "framework/win32_types.h"

// OpenInputDesktop(0, FALSE, READ_CONTROL), GetUserObjectInformationA(UOI_NAME) into
// a 260-character buffer whose first character was set to 0, then CloseDesktop.
// FALSE when the desktop can't be opened or its name can't be read.
BOOL ReadInputDesktopName(std::string &name);
