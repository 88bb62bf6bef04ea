// The native stand-in for the INI-file seam: real files, read and written with the
// lookup rules of the Win32 profile calls as Wine implements them (checked against
// Wine 8): names compared without regard to case, the first matching section and
// key win, blanks around names and values dropped, a pair of matching quotes around
// a value removed on reading, integer keys read from at most 29 characters with an
// optional sign and a 0x / 0o / 0b prefix, wrapping modulo 2^32, and files written
// as "[section]" and "key=value" lines ending in CR LF.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "framework/text.h"
#include "system/profile.h"

namespace {

struct Entry {
    std::string name;
    bool hasValue = false; // a line without '=' is kept but has no value
    std::string value;
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
};

bool IsProfileSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1A;
}

std::string Trim(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && IsProfileSpace(s[b]))
        ++b;
    while (e > b && IsProfileSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string TrimEnd(const std::string &s) {
    size_t e = s.size();
    while (e > 0 && IsProfileSpace(s[e - 1]))
        --e;
    return s.substr(0, e);
}

bool SameName(const std::string &a, const std::string &b) {
    return ToLower(a) == ToLower(b);
}

std::string Posix(std::string path) {
    for (char &c : path)
        if (c == '\\')
            c = '/';
    return path;
}

std::vector<Section> Load(const std::string &path) {
    std::vector<Section> sections;
    std::ifstream in(Posix(path), std::ios::binary);
    if (!in)
        return sections;
    std::ostringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    // Lines before the first section header belong to a section without a name.
    sections.push_back(Section());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty())
            continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string::npos || close == 0)
                close = line.size();
            sections.push_back(Section{Trim(line.substr(1, close - 1)), {}});
            continue;
        }
        Entry e;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            e.name = line;
        } else {
            e.name = Trim(line.substr(0, eq));
            e.hasValue = true;
            e.value = Trim(line.substr(eq + 1));
        }
        sections.back().entries.push_back(e);
    }
    return sections;
}

bool Save(const std::string &path, const std::vector<Section> &sections) {
    std::string out;
    for (const Section &sec : sections) {
        if (!sec.name.empty())
            out += "[" + sec.name + "]\r\n";
        for (const Entry &e : sec.entries)
            out += e.name + (e.hasValue ? "=" + e.value : std::string()) + "\r\n";
    }
    std::ofstream f(Posix(path), std::ios::binary | std::ios::trunc);
    if (!f)
        return false;
    f << out;
    return bool(f.flush());
}

const Entry *Find(const std::vector<Section> &sections, const char *section, const char *key) {
    for (const Section &sec : sections) {
        if (!SameName(sec.name, section))
            continue;
        // Only the first section of that name counts.
        for (const Entry &e : sec.entries)
            if (SameName(e.name, key))
                return e.hasValue ? &e : nullptr;
        return nullptr;
    }
    return nullptr;
}

// Copies at most size - 1 characters; returns how many were copied.
DWORD CopyOut(const std::string &text, char *buffer, DWORD size) {
    if (size == 0)
        return 0;
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return DWORD(n);
}

} // namespace

DWORD IniReadString(const char *section, const char *key, const char *defaultValue, char *buffer,
                    DWORD size, const std::string &path) {
    if (!buffer || size == 0)
        return 0;
    const std::vector<Section> sections = Load(path);
    const Entry *e = Find(sections, section ? section : "", key ? key : "");
    if (!e)
        return CopyOut(TrimEnd(defaultValue ? defaultValue : ""), buffer, size);
    const std::string &v = e->value;
    // A value in matching quotes loses them. As on Wine, the closing quote is
    // dropped after the copy, so a quoted value that fills the buffer loses its
    // last character too.
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
        const std::string inner = v.substr(1); // still ends in the closing quote
        DWORD n = CopyOut(inner, buffer, size);
        if (size >= inner.size() && n > 0)
            buffer[--n] = '\0';
        return n;
    }
    return CopyOut(v, buffer, size);
}

UINT IniReadInt(const char *section, const char *key, int defaultValue, const std::string &path) {
    char buffer[30];
    if (IniReadString(section, key, "", buffer, sizeof buffer, path) == 0)
        return UINT(defaultValue);
    const char *p = buffer;
    while (*p && static_cast<unsigned char>(*p) <= ' ')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    unsigned base = 10;
    if (p[0] == '0' &&
        (p[1] == 'x' || p[1] == 'X' || p[1] == 'o' || p[1] == 'O' || p[1] == 'b' || p[1] == 'B')) {
        base = (p[1] == 'x' || p[1] == 'X') ? 16 : (p[1] == 'o' || p[1] == 'O') ? 8 : 2;
        p += 2;
    }
    uint32_t value = 0;
    for (;; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9')
            digit = unsigned(*p - '0');
        else if (*p >= 'a' && *p <= 'f')
            digit = unsigned(*p - 'a' + 10);
        else if (*p >= 'A' && *p <= 'F')
            digit = unsigned(*p - 'A' + 10);
        else
            break;
        if (digit >= base)
            break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

BOOL IniWriteString(const char *section, const char *key, const char *value,
                    const std::string &path) {
    if (!section || !key)
        return FALSE;
    std::vector<Section> sections = Load(path);
    Section *target = nullptr;
    for (Section &sec : sections)
        if (SameName(sec.name, section)) {
            target = &sec;
            break;
        }
    if (!target) {
        if (!value)
            return TRUE;
        sections.push_back(Section{section, {}});
        target = &sections.back();
    }
    std::vector<Entry> &entries = target->entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!SameName(entries[i].name, key))
            continue;
        if (!value) {
            entries.erase(entries.begin() + long(i));
        } else {
            entries[i].hasValue = true;
            entries[i].value = Trim(value);
        }
        return Save(path, sections) ? TRUE : FALSE;
    }
    if (value)
        entries.push_back(Entry{key, true, Trim(value)});
    return Save(path, sections) ? TRUE : FALSE;
}

void IniFlush(const std::string &) {} // nothing is cached here
