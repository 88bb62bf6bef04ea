// The window-search and click seam: finding a top-level window by class and title,
// finding a child by its control id, activating a window and clicking a button.
// Windows: window_calls_win32.cpp. Native tests: tests/support/window_calls_fake.cpp,
// scripted through tests/support/fake_windows.h.
#pragma once

#include "framework/win32_types.h"

// FindWindowA(className, title); nullptr when there is none.
HWND FindTopLevelWindow(const char *className, const char *title);
// The first child of parent, in EnumChildWindows order (children of children
// included), whose control id (GetWindowLongA with GWL_ID) is id; the enumeration
// stops there. nullptr when there is none.
HWND FindChildWindowById(HWND parent, int id);
// SetActiveWindow(window).
void ActivateWindow(HWND window);
// SendMessageA(button, BM_CLICK, 0, 0).
void SendButtonClick(HWND button);
