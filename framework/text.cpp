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
