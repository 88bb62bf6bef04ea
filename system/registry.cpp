#include "system/registry.h"

const char *const kSettingsKey = "SOFTWARE\\Vespra";

RegKey::~RegKey() {
    Close();
}

RegKey::RegKey(RegKey &&other) noexcept : m_key(other.m_key) {
    other.m_key = nullptr;
}

RegKey &RegKey::operator=(RegKey &&other) noexcept {
    if (this != &other) {
        Close();
        m_key = other.m_key;
        other.m_key = nullptr;
    }
    return *this;
}

LONG RegKey::SetString(const char *name, const std::string &text) {
    return SetValue(name, REG_SZ, text.c_str(), DWORD(text.size() + 1));
}

LONG RegKey::SetDword(const char *name, DWORD value) {
    return SetValue(name, REG_DWORD, &value, sizeof value);
}
