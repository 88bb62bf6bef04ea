// Texts: the string table, %1/%2 substitution and printf-style formatting.
#pragma once

#include <string>

#include "framework/win32_types.h"

// The string-table entry with this id; empty when there is none.
std::string LoadStr(UINT id);

// Replaces %1 and %2 in a pattern. A '%' followed by anything else is kept.
std::string FormatText(const std::string &pattern, const std::string &arg1,
                       const std::string &arg2 = std::string());

// The classic pair: the pattern is a string-table entry.
void AfxFormatString1(std::string &out, UINT id, const std::string &arg1);
void AfxFormatString2(std::string &out, UINT id, const std::string &arg1, const std::string &arg2);

// printf into a std::string. On Windows the system C library's own printf does
// the formatting (the compiler checks formats against it: no %zu or %lld, which
// XP's lacks); elsewhere the C library's.
std::string StrFormat(const char *fmt, ...)
#if defined(_WIN32)
    __attribute__((format(ms_printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// ASCII lower case, as the C runtime's _strlwr does in the "C" locale.
std::string ToLower(std::string s);

// The command-line tail as a program started with this full command line sees it:
// the program-name token (quoted or not) and the blanks after it are skipped. All
// three programs take their argument this way (declared in app.h too).
std::string CommandLineTail(const std::string &commandLine);
