#include "framework/clock.h"

#include <windows.h>

namespace {
// Plain globals, not function statics: the service host and the installer link
// without the C++ runtime's guarded initialisation.
using TickCount64 = ULONGLONG(WINAPI *)();
using UnbiasedTime = BOOL(WINAPI *)(ULONGLONG *);
TickCount64 g_tick64 = nullptr;
UnbiasedTime g_unbiased = nullptr;
bool g_looked = false;
TickCarry g_carry;
} // namespace

time_t ClockNow() {
    return time(nullptr);
}

// Looked up at run time: Windows before Vista has only the 32-bit count, and
// before 7 no unbiased one.
static void LookUpCounters() {
    if (g_looked)
        return;
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    g_tick64 = reinterpret_cast<TickCount64>(
        reinterpret_cast<void *>(::GetProcAddress(kernel, "GetTickCount64")));
    g_unbiased = reinterpret_cast<UnbiasedTime>(
        reinterpret_cast<void *>(::GetProcAddress(kernel, "QueryUnbiasedInterruptTime")));
    g_looked = true;
}

uint64_t MonotonicMs() {
    LookUpCounters();
    return g_tick64 ? g_tick64() : CarryTickWrap(::GetTickCount(), g_carry);
}

bool AwakeMs(uint64_t &ms) {
    LookUpCounters();
    ULONGLONG units = 0; // 100-ns units
    if (!g_unbiased || !g_unbiased(&units))
        return false;
    ms = units / 10000;
    return true;
}
