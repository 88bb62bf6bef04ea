// The ToolHelp32 walk behind process_walk.h, shared by its two files. It shows no
// message box itself: a failure goes to the caller's report function, or nowhere.
// It lives apart from the PSAPI walk and the message boxes so that the installer,
// which walks silently, links none of the dialog framework.
#pragma once

#include "framework/win32_types.h"

// Shows the failure message with this string id; nullptr: silent.
using WalkReport = void (*)(UINT stringId);

int KillWithToolHelpReporting(const char *pattern, WalkReport report);
bool IsProcessRunningReporting(const char *name, WalkReport report);
