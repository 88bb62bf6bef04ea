#include "system/profile.h"

UINT IniReadInt(const char *section, const char *key, int defaultValue, const std::string &path) {
    return GetPrivateProfileIntA(section, key, defaultValue, path.c_str());
}

DWORD IniReadString(const char *section, const char *key, const char *defaultValue, char *buffer,
                    DWORD size, const std::string &path) {
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, path.c_str());
}

BOOL IniWriteString(const char *section, const char *key, const char *value,
                    const std::string &path) {
    return WritePrivateProfileStringA(section, key, value, path.c_str());
}

void IniFlush(const std::string &path) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}
