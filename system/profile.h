// The INI-file seam: profile (INI) files with the semantics of
// GetPrivateProfileIntA, GetPrivateProfileStringA and WritePrivateProfileStringA.
// Windows: profile_win32.cpp. Native tests: a stand-in on real files with the same
// lookup rules (tests/support/profile_fake.cpp).
//
// The rules the program relies on: section and key names are compared without
// regard to case; a missing file, section or key yields the default; blanks around
// a value are dropped and one pair of matching quotes around it is removed; an
// integer key yields its leading decimal number; writing creates the file and the
// section as needed, replaces a key in place and appends a new key at the end of
// its section, one "key=value" line ending in CR LF each.
#pragma once

#include <string>

#include "framework/win32_types.h"

// GetPrivateProfileIntA. An empty value counts as missing.
UINT IniReadInt(const char *section, const char *key, int defaultValue, const std::string &path);
// GetPrivateProfileStringA into buffer (size characters, NUL included). Returns the
// number of characters copied without the NUL; a value that does not fit is cut to
// size - 1 characters.
DWORD IniReadString(const char *section, const char *key, const char *defaultValue, char *buffer,
                    DWORD size, const std::string &path);
// WritePrivateProfileStringA with a section, a key and a value.
BOOL IniWriteString(const char *section, const char *key, const char *value,
                    const std::string &path);
// WritePrivateProfileStringA(NULL, NULL, NULL, path): makes the system drop what it
// has cached of the file, so a file deleted afterwards is not written back from
// the cache with its old keys.
void IniFlush(const std::string &path);
