// The native stand-in behind system/window_calls.h: scripted top-level windows
// with the control ids of their children, and a record of activations and clicks.
#pragma once

#include <string>
#include <vector>

#include "framework/win32_types.h"

namespace fake {

struct TopWindow {
    std::string className;
    std::string title;
    std::vector<int> childIds; // in EnumChildWindows order, grandchildren included
};

struct WindowTable {
    // Answers: top-level windows in Z order; FindWindowA returns the first that fits.
    std::vector<TopWindow> windows;
    // Record, e.g. "SetActiveWindow w0" and "BM_CLICK w0 c2" (window 0, its third child).
    std::vector<std::string> calls;
};

WindowTable &Windows();
void ResetWindows();

} // namespace fake
