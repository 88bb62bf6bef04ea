// Included ahead of every source of the Windows build (CMakeLists.txt, -include).
// The C++ library declares std::string's members as instantiated in the library,
// so that a program calling any of them links the library's whole std::string
// (some 20 KB, every member, since the linker keeps an object's functions
// together with their unwind tables). -1 is the library's own setting that turns
// off only those declarations: each source then instantiates the members it uses,
// and the program carries just those.
#pragma once

#include <bits/c++config.h>

#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
