// Linked into the service host and the installer only, never into the library
// (vespra.exe's dialog framework does catch). Neither program catches an
// exception, so every error the C++ library would throw ends the program, as an
// uncaught exception would. Defining the library's throw helpers, allocation,
// terminate handler and the catch and unwind entry points its string code refers
// to keeps the exception, unwinding, thread-local and name-demangling machinery
// (some 120 KB) out of both programs. Nothing here runs unless the program would
// have died anyway.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace std {
void __throw_bad_alloc() {
    abort();
}
void __throw_bad_array_new_length() {
    abort();
}
void __throw_length_error(const char *) {
    abort();
}
void __throw_logic_error(const char *) {
    abort();
}
void __throw_out_of_range(const char *) {
    abort();
}
void __throw_out_of_range_fmt(const char *, ...) {
    abort();
}
void __throw_invalid_argument(const char *) {
    abort();
}
} // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    abort();
}
} // namespace __gnu_cxx

void *operator new(std::size_t size) {
    void *p = malloc(size ? size : 1);
    if (!p)
        abort();
    return p;
}
void *operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void *p) noexcept {
    free(p);
}
void operator delete[](void *p) noexcept {
    free(p);
}
void operator delete(void *p, std::size_t) noexcept {
    free(p);
}
void operator delete[](void *p, std::size_t) noexcept {
    free(p);
}

extern "C" {
// Reached only from the library's catch clauses, which nothing can enter now.
void *__cxa_begin_catch(void *) {
    abort();
}
void __cxa_end_catch() {
    abort();
}
void __cxa_rethrow() {
    abort();
}
void _Unwind_Resume(void *) {
    abort();
}
// No frame handles anything: a system exception goes on to the default handler.
EXCEPTION_DISPOSITION __gxx_personality_seh0(PEXCEPTION_RECORD, void *, PCONTEXT, void *) {
    return ExceptionContinueSearch;
}
// The x86 build unwinds by DWARF tables: no frame handles anything there either
// (8 is _URC_CONTINUE_UNWIND).
int __gxx_personality_v0(int, int, unsigned long long, void *, void *) {
    return 8;
}
}
