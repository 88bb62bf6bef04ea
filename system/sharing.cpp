#include "system/sharing.h"

#include <string>

#include "framework/text.h"
#include "resources/resource.h"

bool CloseSharingDialog() {
    const std::string title = LoadStr(IDS_SHARING);
    // An empty title would let FindWindowA pick any untitled dialog.
    if (title.empty())
        return false;
    HWND dialog = FindTopLevelWindow("#32770", title.c_str());
    if (!dialog)
        return false;
    HWND yes = FindChildWindowById(dialog, IDYES);
    if (!yes)
        return false;
    ActivateWindow(dialog);
    SendButtonClick(yes);
    return true;
}
