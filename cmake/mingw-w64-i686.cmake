# Cross build for 32-bit Windows (XP SP3 and later, 32- and 64-bit) with the
# MinGW-w64 win32-thread compilers: no winpthread, so every import is one XP has.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(VESPRA_MINGW_ROOT /usr/i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
