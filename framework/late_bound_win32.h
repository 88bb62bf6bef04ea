// System functions that the program calls only now and then (comctl32's date-time
// picker registration, shell32's open), looked up at their first call: their DLL and
// what it brings stay out of a scheduler that waits all day.
#pragma once

#include <windows.h>

// The function `name` of the system DLL `dll`, loading the DLL on first use; nullptr
// when either is missing. The bare name lets the manifest's side-by-side assembly
// choose comctl32, as an import would. Fn must be decltype(&::Function), so the
// pointer has the header's own declaration, calling convention included: a pointer
// typed by hand without WINAPI calls a stdcall function as cdecl on x86.
template <typename Fn> Fn LateBound(const char *dll, const char *name) {
    HMODULE module = ::GetModuleHandleA(dll);
    if (!module)
        module = ::LoadLibraryA(dll);
    if (!module)
        return nullptr;
    // Through void (*)(): GCC accepts that as the generic function pointer type.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

#define VESPRA_LATE_BOUND(dll, function) LateBound<decltype(&::function)>(dll, #function)
