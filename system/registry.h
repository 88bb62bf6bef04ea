// The registry seam: keys under HKEY_LOCAL_MACHINE, with the semantics of the
// RegXxxA calls (error codes, value types, ERROR_MORE_DATA on a short buffer).
// Windows: registry_win32.cpp. Native tests: an in-memory stand-in.
#pragma once

#include <string>

#include "framework/win32_types.h"

enum class RegAccess { Read, Write };

// The settings key of all three programs.
extern const char *const kSettingsKey; // "SOFTWARE\\Vespra"

class RegKey {
public:
    RegKey() = default;
    ~RegKey();
    RegKey(RegKey &&other) noexcept;
    RegKey &operator=(RegKey &&other) noexcept;
    RegKey(const RegKey &) = delete;
    RegKey &operator=(const RegKey &) = delete;

    // RegCreateKeyExA: opens HKLM\path, creating it when missing. A key made here
    // gets the security descriptor of sddl when one is given (nothing is made when
    // the text can't be converted); an existing key keeps its own.
    LONG Create(const char *path, RegAccess access, const char *sddl = nullptr);
    // RegOpenKeyExA: opens HKLM\path only when it exists.
    LONG Open(const char *path, RegAccess access);
    bool IsOpen() const { return m_key != nullptr; }
    void Close();

    // RegQueryValueExA: data may be null to ask for type and size only.
    LONG QueryValue(const char *name, DWORD *type, void *data, DWORD *size) const;
    // RegSetValueExA.
    LONG SetValue(const char *name, DWORD type, const void *data, DWORD size);
    // RegDeleteValueA.
    LONG DeleteValue(const char *name);

    // Conveniences on top of the calls above.
    LONG SetString(const char *name, const std::string &text); // REG_SZ with its NUL
    LONG SetDword(const char *name, DWORD value);              // REG_DWORD

private:
    void *m_key = nullptr;
};

// A watch on HKLM\path and everything under it (RegNotifyChangeKeyValue). Changed()
// is true once after any change since it was last asked, and at every call while
// the key can't be watched (a missing key, say), so a caller never misses one.
class RegChangeWatch {
public:
    explicit RegChangeWatch(const char *path);
    ~RegChangeWatch();
    RegChangeWatch(const RegChangeWatch &) = delete;
    RegChangeWatch &operator=(const RegChangeWatch &) = delete;
    bool Changed();

private:
    bool Arm();
    std::string m_path;
    bool m_armed = false;
    // Windows': the key and the event of its notice.
    [[maybe_unused]] void *m_key = nullptr;
    [[maybe_unused]] void *m_event = nullptr;
    // The in-memory registry's: its change count at the last change under the key, and
    // when last asked.
    [[maybe_unused]] unsigned long m_seen = 0;
    [[maybe_unused]] unsigned long m_asked = 0;
};

// RegDeleteKeyA(HKEY_LOCAL_MACHINE, path): the key must have no subkeys.
LONG DeleteRegistryKey(const char *path);
