// The shell's open: a document or an address opened with its default program.
// Windows: shell_win32.cpp. Native tests: recorded by the dialog stand-in.
#pragma once

#include <string>

#include "framework/win32_types.h"

// ShellExecuteA with no owner window, no verb, the text as the file, empty
// parameters and directory, SW_SHOWNORMAL. TRUE when the shell reports success
// (a result above 32); callers that show nothing on failure may ignore it.
BOOL ShellOpen(const std::string &file);
