#include "system/desktop_calls.h"

#include <cstring>

BOOL ReadInputDesktopName(std::string &name) {
    HDESK desktop = ::OpenInputDesktop(0, FALSE, READ_CONTROL);
    if (!desktop)
        return FALSE;
    char buffer[MAX_PATH];
    buffer[0] = '\0';
    DWORD needed = 0;
    const BOOL read =
        ::GetUserObjectInformationA(desktop, UOI_NAME, buffer, sizeof buffer, &needed);
    ::CloseDesktop(desktop);
    if (!read)
        return FALSE;
    name.assign(buffer, strnlen(buffer, sizeof buffer));
    return TRUE;
}
