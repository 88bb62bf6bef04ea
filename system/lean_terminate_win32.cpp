// Linked into vespra.exe only (the other two programs have lean_runtime_win32.cpp,
// which does the same and more). Three pieces of the C++ runtime, replaced by
// smaller ones with the same effect for this program:
// - An exception that nothing catches ends the program with abort(), as the
//   library's own handler does after it has written the exception's demangled type
//   to stderr, which a program without a console does not have. Defining the
//   handler keeps the name demangler (some 45 KB) out of the program.
// - The library's own throw helpers build std::logic_error and its kin, whose
//   messages are reference-counted strings: a second string implementation and the
//   random device come with them (some 30 KB). The only catch clauses in the
//   program are catch (...) at the Win32 callbacks, which never look at what they
//   caught, so the helpers throw a plain type; running out of memory still throws
//   std::bad_alloc, as operator new does.
// - Function-local statics initialised at run time are guarded by the functions
//   below instead of the library's, which on the posix thread model take
//   winpthread along (some 28 KB). Same contract: one thread initialises, the
//   others wait until it has, an initialiser that throws lets the next one try.
// - On the posix thread model (the x64 build) the exception machinery keeps its
//   per-thread state and its emergency pool behind the few POSIX thread calls
//   defined at the end; with those here winpthread stays out. The win32 thread
//   model (the x86 build) calls Win32 itself and never comes to them.
#include <windows.h>

#include <bits/gthr.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

namespace {
struct LibraryError {};
} // namespace

namespace std {
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw LibraryError();
}
void __throw_length_error(const char *) {
    throw LibraryError();
}
void __throw_logic_error(const char *) {
    throw LibraryError();
}
void __throw_out_of_range(const char *) {
    throw LibraryError();
}
void __throw_out_of_range_fmt(const char *, ...) {
    throw LibraryError();
}
void __throw_invalid_argument(const char *) {
    throw LibraryError();
}
} // namespace std

// The guard is 64 bits: its first byte, which the compiler's inline check reads, is
// set once the object is initialised; the 32 bits at offset 4 name the thread that
// is initialising it.
namespace {
struct Guard {
    char done;
    char unused[3];
    LONG owner;
};
static_assert(sizeof(Guard) == 8, "the guard's layout");
} // namespace

extern "C" {
int __cxa_guard_acquire(Guard *g) {
    const LONG self = LONG(::GetCurrentThreadId());
    for (;;) {
        if (__atomic_load_n(&g->done, __ATOMIC_ACQUIRE))
            return 0;
        const LONG owner = ::InterlockedCompareExchange(&g->owner, self, 0);
        if (owner == 0) {
            if (!__atomic_load_n(&g->done, __ATOMIC_ACQUIRE))
                return 1; // ours to initialise
            ::InterlockedExchange(&g->owner, 0); // finished in between
            return 0;
        }
        if (owner == self)
            std::abort(); // its own initialiser asked for it again
        ::Sleep(1);
    }
}
void __cxa_guard_release(Guard *g) {
    __atomic_store_n(&g->done, 1, __ATOMIC_RELEASE);
    ::InterlockedExchange(&g->owner, 0);
}
void __cxa_guard_abort(Guard *g) {
    ::InterlockedExchange(&g->owner, 0);
}
}

#ifdef _GLIBCXX_GCC_GTHR_POSIX_H
// winpthread's types: a mutex is a pointer-sized handle whose static initialisers
// are small negative numbers, a once flag a long, a key an unsigned.
// Thread-exit destructors of TLS keys, run by the MinGW-w64 runtime (as for the
// win32 thread model's keys).
extern "C" int __mingwthr_key_dtor(DWORD key, void (*dtor)(void *));

namespace {
// The library has two mutexes; sections for them without the heap, which an
// exception thrown for want of memory must not need.
CRITICAL_SECTION g_sections[4];
LONG g_sectionsUsed = 0;

bool IsStaticSection(const CRITICAL_SECTION *cs) {
    return cs >= g_sections && cs < g_sections + 4;
}

CRITICAL_SECTION *NewSection() {
    const LONG i = ::InterlockedIncrement(&g_sectionsUsed) - 1;
    CRITICAL_SECTION *cs =
        i < 4 ? &g_sections[i] : static_cast<CRITICAL_SECTION *>(std::malloc(sizeof(CRITICAL_SECTION)));
    if (!cs)
        std::abort();
    ::InitializeCriticalSection(cs);
    return cs;
}

// The section behind a mutex, made at its first use when the mutex was statically
// initialised; two threads racing keep the first one's.
CRITICAL_SECTION *SectionOf(intptr_t *m) {
    const intptr_t v = __atomic_load_n(m, __ATOMIC_ACQUIRE);
    if (v > 0)
        return reinterpret_cast<CRITICAL_SECTION *>(v);
    CRITICAL_SECTION *cs = NewSection();
    intptr_t expected = v;
    if (__atomic_compare_exchange_n(m, &expected, reinterpret_cast<intptr_t>(cs), false,
                                    __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
        return cs;
    ::DeleteCriticalSection(cs);
    if (!IsStaticSection(cs))
        std::free(cs);
    return reinterpret_cast<CRITICAL_SECTION *>(expected);
}
} // namespace

extern "C" {
int pthread_mutex_init(intptr_t *m, const unsigned *) {
    *m = reinterpret_cast<intptr_t>(NewSection());
    return 0;
}
int pthread_mutex_destroy(intptr_t *m) {
    if (*m > 0) {
        auto *cs = reinterpret_cast<CRITICAL_SECTION *>(*m);
        ::DeleteCriticalSection(cs);
        if (!IsStaticSection(cs))
            std::free(cs);
    }
    *m = -1;
    return 0;
}
int pthread_mutex_lock(intptr_t *m) {
    ::EnterCriticalSection(SectionOf(m));
    return 0;
}
int pthread_mutex_unlock(intptr_t *m) {
    ::LeaveCriticalSection(SectionOf(m));
    return 0;
}
// 0: not run; 1: running on some thread, the others wait; 2: done.
int pthread_once(long *once, void (*run)(void)) {
    for (;;) {
        const LONG state = ::InterlockedCompareExchange(once, 1, 0);
        if (state == 0) {
            run();
            ::InterlockedExchange(once, 2);
            return 0;
        }
        if (state == 2)
            return 0;
        ::Sleep(1);
    }
}
int pthread_key_create(unsigned *key, void (*dtor)(void *)) {
    const DWORD k = ::TlsAlloc();
    if (k == TLS_OUT_OF_INDEXES)
        return EAGAIN;
    if (dtor && __mingwthr_key_dtor(k, dtor) != 0) {
        ::TlsFree(k);
        return ENOMEM;
    }
    *key = k;
    return 0;
}
void *pthread_getspecific(unsigned key) {
    const DWORD error = ::GetLastError();
    void *value = ::TlsGetValue(key);
    ::SetLastError(error);
    return value;
}
int pthread_setspecific(unsigned key, const void *value) {
    return ::TlsSetValue(key, const_cast<void *>(value)) ? 0 : EINVAL;
}
}
#endif
