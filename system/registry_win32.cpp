#include "system/registry.h"

#include "security/permissions_win32.h"

namespace {
HKEY Hkey(void *k) {
    return static_cast<HKEY>(k);
}
REGSAM Sam(RegAccess access) {
    return access == RegAccess::Read ? KEY_READ : KEY_WRITE;
}
} // namespace

void RegKey::Close() {
    if (m_key)
        RegCloseKey(Hkey(m_key));
    m_key = nullptr;
}

LONG RegKey::Create(const char *path, RegAccess access, const char *sddl) {
    Close();
    HKEY key = nullptr;
    DWORD disposition = 0;
    SddlDescriptor sd(sddl);
    if (sddl && !sd.Dacl())
        return ERROR_INVALID_SECURITY_DESCR;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              Sam(access), sddl ? sd.Attributes() : nullptr, &key, &disposition);
    if (rc == ERROR_SUCCESS)
        m_key = key;
    return rc;
}

LONG RegKey::Open(const char *path, RegAccess access) {
    Close();
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, Sam(access), &key);
    if (rc == ERROR_SUCCESS)
        m_key = key;
    return rc;
}

LONG RegKey::QueryValue(const char *name, DWORD *type, void *data, DWORD *size) const {
    if (!m_key)
        return ERROR_INVALID_HANDLE;
    return RegQueryValueExA(Hkey(m_key), name, nullptr, type, static_cast<BYTE *>(data), size);
}

LONG RegKey::SetValue(const char *name, DWORD type, const void *data, DWORD size) {
    if (!m_key)
        return ERROR_INVALID_HANDLE;
    return RegSetValueExA(Hkey(m_key), name, 0, type, static_cast<const BYTE *>(data), size);
}

LONG RegKey::DeleteValue(const char *name) {
    if (!m_key)
        return ERROR_INVALID_HANDLE;
    return RegDeleteValueA(Hkey(m_key), name);
}

LONG DeleteRegistryKey(const char *path) {
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
}

RegChangeWatch::RegChangeWatch(const char *path) : m_path(path) {
    m_armed = Arm();
}

RegChangeWatch::~RegChangeWatch() {
    if (m_key)
        RegCloseKey(Hkey(m_key));
    if (m_event)
        CloseHandle(m_event);
}

// A notice is asked for once and comes once: it is asked for again after each.
bool RegChangeWatch::Arm() {
    if (!m_event)
        m_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!m_key) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, KEY_NOTIFY, &key) == ERROR_SUCCESS)
            m_key = key;
    }
    if (m_event && m_key &&
        RegNotifyChangeKeyValue(Hkey(m_key), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                m_event, TRUE) == ERROR_SUCCESS)
        return true;
    // A key deleted under its handle can't be watched again through it.
    if (m_key)
        RegCloseKey(Hkey(m_key));
    m_key = nullptr;
    return false;
}

bool RegChangeWatch::Changed() {
    if (m_armed && WaitForSingleObject(m_event, 0) != WAIT_OBJECT_0)
        return false;
    m_armed = Arm();
    return true;
}
