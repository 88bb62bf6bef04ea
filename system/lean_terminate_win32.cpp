// Linked into vespra.exe only (the other two programs have lean_runtime_win32.cpp,
// which does the same and more). An exception that nothing catches ends the program
// with abort(), as the library's own handler does after it has written the
// exception's demangled type to stderr, which a program without a console does not
// have. Defining the handler keeps the name demangler (some 45 KB) out of the
// program.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
