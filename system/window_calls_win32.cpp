#include "system/window_calls.h"

namespace {
// Carries the wanted id in and the found window out of the enumeration.
struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchChildId(HWND child, LPARAM lParam) {
    auto *search = reinterpret_cast<ChildSearch *>(lParam);
    if (::GetWindowLongA(child, GWL_ID) != search->id)
        return TRUE;
    search->found = child;
    return FALSE;
}
} // namespace

HWND FindTopLevelWindow(const char *className, const char *title) {
    return ::FindWindowA(className, title);
}

HWND FindChildWindowById(HWND parent, int id) {
    ChildSearch search = {id, nullptr};
    ::EnumChildWindows(parent, MatchChildId, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void ActivateWindow(HWND window) {
    ::SetActiveWindow(window);
}

void SendButtonClick(HWND button) {
    ::SendMessageA(button, BM_CLICK, 0, 0);
}
