// The owning handles and the function lookup that both process walks use.
#pragma once

#include "framework/unique_handle.h"
#include "system/process_calls.h"

namespace process_walk {

// PROCESS_TERMINATE | PROCESS_VM_READ | PROCESS_QUERY_INFORMATION: enough to read the
// first module's name and to terminate.
constexpr DWORD kKillAccess = PROCESS_TERMINATE | PROCESS_VM_READ | PROCESS_QUERY_INFORMATION;

struct LibraryReleaser {
    void operator()(HMODULE h) const { ReleaseLibrary(h); }
};
struct HandleCloser {
    void operator()(HANDLE h) const { CloseProcessHandle(h); }
};
// Each walk loads its library afresh and releases it at its end, however it ends.
using Library = UniqueHandle<HMODULE, LibraryReleaser>;
using ProcessHandle = UniqueHandle<HANDLE, HandleCloser>;

template <typename Fn> Fn Lookup(const Library &library, const char *name) {
    return reinterpret_cast<Fn>(LookupFunction(library.Get(), name));
}

} // namespace process_walk
