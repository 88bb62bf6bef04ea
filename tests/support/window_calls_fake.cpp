// The native stand-in for the window-search and click seam.
#include <strings.h>

#include <cstdint>
#include <string>

#include "system/window_calls.h"
#include "tests/support/fake_windows.h"

namespace fake {
namespace {
WindowTable g_windows;

// Window w is (w + 1) * 0x1000; its child c is that plus c + 1.
const uintptr_t kStride = 0x1000;
HWND TopHandle(size_t w) {
    return reinterpret_cast<HWND>((w + 1) * kStride);
}
HWND ChildHandle(size_t w, size_t c) {
    return reinterpret_cast<HWND>((w + 1) * kStride + c + 1);
}
std::string Describe(HWND h) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(h);
    std::string s = "w" + std::to_string(v / kStride - 1);
    if (v % kStride)
        s += " c" + std::to_string(v % kStride - 1);
    return s;
}
} // namespace

WindowTable &Windows() {
    return g_windows;
}
void ResetWindows() {
    g_windows = WindowTable();
}
} // namespace fake

using fake::g_windows;

HWND FindTopLevelWindow(const char *className, const char *title) {
    // FindWindowA compares class names and titles ignoring case.
    for (size_t w = 0; w < g_windows.windows.size(); ++w) {
        const fake::TopWindow &t = g_windows.windows[w];
        if ((!className || strcasecmp(t.className.c_str(), className) == 0) &&
            (!title || strcasecmp(t.title.c_str(), title) == 0))
            return fake::TopHandle(w);
    }
    return nullptr;
}

HWND FindChildWindowById(HWND parent, int id) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(parent);
    if (v == 0 || v % fake::kStride || v / fake::kStride > g_windows.windows.size())
        return nullptr;
    const size_t w = v / fake::kStride - 1;
    const std::vector<int> &ids = g_windows.windows[w].childIds;
    for (size_t c = 0; c < ids.size(); ++c)
        if (ids[c] == id)
            return fake::ChildHandle(w, c);
    return nullptr;
}

void ActivateWindow(HWND window) {
    g_windows.calls.push_back("SetActiveWindow " + fake::Describe(window));
}

void SendButtonClick(HWND button) {
    g_windows.calls.push_back("BM_CLICK " + fake::Describe(button));
}
