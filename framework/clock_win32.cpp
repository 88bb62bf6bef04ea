#include "framework/clock.h"

#include <windows.h>

time_t ClockNow() {
    return time(nullptr);
}

uint64_t MonotonicMs() {
    // Looked up at run time: Windows before Vista has only the 32-bit count.
    using TickCount64 = ULONGLONG(WINAPI *)();
    static const TickCount64 tick64 = reinterpret_cast<TickCount64>(reinterpret_cast<void *>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
    if (tick64)
        return tick64();
    static TickCarry carry;
    return CarryTickWrap(::GetTickCount(), carry);
}
