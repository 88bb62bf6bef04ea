#include "framework/clock.h"

#include <windows.h>

namespace {
// Plain globals, not function statics: the service host and the installer link
// without the C++ runtime's guarded initialisation.
using TickCount64 = ULONGLONG(WINAPI *)();
TickCount64 g_tick64 = nullptr;
bool g_looked = false;
TickCarry g_carry;
} // namespace

time_t ClockNow() {
    return time(nullptr);
}

uint64_t MonotonicMs() {
    // Looked up at run time: Windows before Vista has only the 32-bit count.
    if (!g_looked) {
        g_tick64 = reinterpret_cast<TickCount64>(reinterpret_cast<void *>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
        g_looked = true;
    }
    return g_tick64 ? g_tick64() : CarryTickWrap(::GetTickCount(), g_carry);
}
