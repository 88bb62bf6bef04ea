#include "system/logon.h"

#include <string>

#include "framework/text.h"
#include "system/desktop_calls.h"
#include "system/platform.h"
#include "system/process_walk.h"

bool IsUserLoggedOn() {
    if (!IsWindowsNT())
        return IsProcessRunning("systray.exe", true);
    std::string name;
    if (!ReadInputDesktopName(name))
        return false;
    return ToLower(name).find("default") != std::string::npos;
}
