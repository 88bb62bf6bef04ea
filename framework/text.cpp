#include "framework/text.h"

#include <cstdarg>
#include <cstdio>

std::string FormatText(const std::string &pattern, const std::string &arg1,
                       const std::string &arg2) {
    std::string out;
    out.reserve(pattern.size() + arg1.size() + arg2.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            out += pattern[i + 1] == '1' ? arg1 : arg2;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

void AfxFormatString1(std::string &out, UINT id, const std::string &arg1) {
    out = FormatText(LoadStr(id), arg1);
}

void AfxFormatString2(std::string &out, UINT id, const std::string &arg1, const std::string &arg2) {
    out = FormatText(LoadStr(id), arg1, arg2);
}

#ifdef _WIN32
// msvcrt's _vsnprintf, not the C99 one the MinGW headers put behind vsnprintf (that
// brings its own formatter, some 20 KB): it answers -1 while the text does not fit,
// so the buffer doubles until it does.
std::string StrFormat(const char *fmt, ...) {
    std::string out(256, '\0');
    for (;;) {
        va_list ap;
        va_start(ap, fmt);
        const int n = _vsnprintf(&out[0], out.size(), fmt, ap);
        va_end(ap);
        if (n >= 0 && size_t(n) < out.size()) {
            out.resize(size_t(n));
            return out;
        }
        if (out.size() >= (size_t(1) << 24))
            return std::string(); // no text is that long: a format it can't make
        out.resize(n >= 0 ? size_t(n) + 1 : out.size() * 2);
    }
}
#else
std::string StrFormat(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(size_t(n) + 1);
        vsnprintf(&out[0], out.size(), fmt, ap);
        out.resize(size_t(n));
    }
    va_end(ap);
    return out;
}
#endif

std::string ToLower(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::string CommandLineTail(const std::string &commandLine) {
    size_t i = 0;
    if (i < commandLine.size() && commandLine[i] == '"') {
        ++i;
        while (i < commandLine.size() && commandLine[i] != '"')
            ++i;
        if (i < commandLine.size())
            ++i;
    } else {
        while (i < commandLine.size() && commandLine[i] != ' ' && commandLine[i] != '\t')
            ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t'))
        ++i;
    return commandLine.substr(i);
}
