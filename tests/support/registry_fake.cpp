#include <algorithm>
#include <cstring>

#include "framework/text.h"
#include "system/registry.h"
#include "tests/support/fake_registry.h"

namespace fake {

namespace {
Registry g_reg;

struct OpenKey {
    std::string path;
    RegAccess access;
};
} // namespace

void Touch(const std::string &lowerPath) {
    g_reg.changedAt[lowerPath] = ++g_reg.changes;
}

Registry &Reg() {
    return g_reg;
}
void ResetRegistry() {
    g_reg = Registry();
}

bool HasValue(const std::string &path, const std::string &name) {
    auto k = g_reg.keys.find(ToLower(path));
    return k != g_reg.keys.end() && k->second.values.count(ToLower(name));
}

void PutRaw(const std::string &path, const std::string &name, DWORD type,
            const std::vector<unsigned char> &data) {
    RegistryKeyData &k = g_reg.keys[ToLower(path)];
    k.values[ToLower(name)] = RegValue{type, data};
    k.writeOrder.push_back(name);
    Touch(ToLower(path));
}

void PutString(const std::string &path, const std::string &name, const std::string &text) {
    std::vector<unsigned char> d(text.begin(), text.end());
    d.push_back(0);
    PutRaw(path, name, REG_SZ, d);
}

void PutDword(const std::string &path, const std::string &name, DWORD value) {
    std::vector<unsigned char> d(4);
    memcpy(d.data(), &value, 4);
    PutRaw(path, name, REG_DWORD, d);
}

static const RegValue *Find(const std::string &path, const std::string &name) {
    auto k = g_reg.keys.find(ToLower(path));
    if (k == g_reg.keys.end())
        return nullptr;
    auto v = k->second.values.find(ToLower(name));
    return v == k->second.values.end() ? nullptr : &v->second;
}

std::string GetString(const std::string &path, const std::string &name) {
    const RegValue *v = Find(path, name);
    if (!v)
        return std::string();
    std::string s(v->data.begin(), v->data.end());
    size_t nul = s.find('\0');
    return nul == std::string::npos ? s : s.substr(0, nul);
}

DWORD GetDword(const std::string &path, const std::string &name) {
    const RegValue *v = Find(path, name);
    DWORD d = 0;
    if (v && v->data.size() >= 4)
        memcpy(&d, v->data.data(), 4);
    return d;
}

DWORD GetType(const std::string &path, const std::string &name) {
    const RegValue *v = Find(path, name);
    return v ? v->type : REG_NONE;
}

} // namespace fake

using fake::g_reg;

namespace {
fake::OpenKey *Key(void *k) {
    return static_cast<fake::OpenKey *>(k);
}

// A value the test made fail, named alone or as "<key path>\\<name>".
bool Fails(const fake::OpenKey *key, const char *name) {
    const std::string n = ToLower(name ? name : "");
    return g_reg.failSet.count(n) || g_reg.failSet.count(key->path + "\\" + n);
}

LONG OpenImpl(void *&slot, const char *path, RegAccess access, bool create,
              const char *sddl = nullptr) {
    std::string p = ToLower(path);
    const auto &fails = access == RegAccess::Read ? g_reg.failOpenRead : g_reg.failOpenWrite;
    if (fails.count(p))
        return ERROR_ACCESS_DENIED;
    if (!g_reg.keys.count(p)) {
        if (!create)
            return ERROR_FILE_NOT_FOUND;
        g_reg.keys[p].sddl = sddl ? sddl : "";
        fake::Touch(p);
    }
    slot = new fake::OpenKey{p, access};
    ++g_reg.opens;
    return ERROR_SUCCESS;
}
} // namespace

void RegKey::Close() {
    if (m_key) {
        delete Key(m_key);
        ++g_reg.closes;
    }
    m_key = nullptr;
}

LONG RegKey::Create(const char *path, RegAccess access, const char *sddl) {
    Close();
    return OpenImpl(m_key, path, access, true, sddl);
}

LONG DeleteRegistryKey(const char *path) {
    const std::string p = ToLower(path);
    if (g_reg.failOpenWrite.count(p))
        return ERROR_ACCESS_DENIED;
    if (!g_reg.keys.count(p))
        return ERROR_FILE_NOT_FOUND;
    // Windows deletes no key that still has subkeys.
    for (const auto &key : g_reg.keys)
        if (key.first.compare(0, p.size() + 1, p + "\\") == 0)
            return ERROR_ACCESS_DENIED;
    g_reg.keys.erase(p);
    fake::Touch(p);
    return ERROR_SUCCESS;
}

LONG RegKey::Open(const char *path, RegAccess access) {
    Close();
    return OpenImpl(m_key, path, access, false);
}

LONG RegKey::QueryValue(const char *name, DWORD *type, void *data, DWORD *size) const {
    if (!m_key)
        return 6; // ERROR_INVALID_HANDLE
    auto k = g_reg.keys.find(Key(m_key)->path);
    if (k == g_reg.keys.end())
        return ERROR_FILE_NOT_FOUND;
    auto v = k->second.values.find(ToLower(name ? name : ""));
    if (v == k->second.values.end())
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = v->second.type;
    DWORD need = DWORD(v->second.data.size());
    if (!size)
        return data ? 87 /* ERROR_INVALID_PARAMETER */ : ERROR_SUCCESS;
    if (data && *size < need) {
        *size = need;
        return ERROR_MORE_DATA;
    }
    if (data && need)
        memcpy(data, v->second.data.data(), need);
    *size = need;
    return ERROR_SUCCESS;
}

LONG RegKey::SetValue(const char *name, DWORD type, const void *data, DWORD size) {
    if (!m_key || Key(m_key)->access != RegAccess::Write)
        return ERROR_ACCESS_DENIED;
    if (Fails(Key(m_key), name))
        return ERROR_ACCESS_DENIED;
    if (g_reg.changesBeforeCrash == 0)
        return ERROR_SUCCESS;
    if (g_reg.changesBeforeCrash > 0)
        --g_reg.changesBeforeCrash;
    const unsigned char *p = static_cast<const unsigned char *>(data);
    fake::PutRaw(Key(m_key)->path, name ? name : "", type, std::vector<unsigned char>(p, p + size));
    return ERROR_SUCCESS;
}

LONG RegKey::DeleteValue(const char *name) {
    if (!m_key || Key(m_key)->access != RegAccess::Write)
        return ERROR_ACCESS_DENIED;
    auto &vals = g_reg.keys[Key(m_key)->path].values;
    if (!vals.count(ToLower(name ? name : "")))
        return ERROR_FILE_NOT_FOUND;
    if (Fails(Key(m_key), name))
        return ERROR_ACCESS_DENIED;
    if (g_reg.changesBeforeCrash == 0)
        return ERROR_SUCCESS;
    if (g_reg.changesBeforeCrash > 0)
        --g_reg.changesBeforeCrash;
    vals.erase(ToLower(name ? name : ""));
    fake::Touch(Key(m_key)->path);
    return ERROR_SUCCESS;
}

namespace {
// The count at the last change of the key or any key under it.
unsigned long LastChangeUnder(const std::string &p) {
    unsigned long last = 0;
    for (auto k = g_reg.changedAt.lower_bound(p);
         k != g_reg.changedAt.end() && k->first.compare(0, p.size(), p) == 0; ++k)
        if (k->first.size() == p.size() || k->first[p.size()] == '\\')
            last = std::max(last, k->second);
    return last;
}
} // namespace

// As on Windows, only a key that exists can be watched.
RegChangeWatch::RegChangeWatch(const char *path) : m_path(ToLower(path)) {
    m_armed = Arm();
}

RegChangeWatch::~RegChangeWatch() = default;

bool RegChangeWatch::Arm() {
    m_seen = LastChangeUnder(m_path);
    m_asked = g_reg.changes;
    // The stand-in holds keys by their whole path: one is there when it or a key
    // under it is, as its parents are on Windows.
    const std::string &p = m_path, under = p + "\\";
    const auto k = g_reg.keys.lower_bound(under);
    return g_reg.keys.count(p) ||
           (k != g_reg.keys.end() && k->first.compare(0, under.size(), under) == 0);
}

bool RegChangeWatch::Changed() {
    // Nothing changed anywhere since it was last asked: as cheap as the event's wait.
    if (m_armed && g_reg.changes == m_asked)
        return false;
    m_asked = g_reg.changes;
    if (m_armed && LastChangeUnder(m_path) == m_seen)
        return false;
    m_armed = Arm();
    return true;
}
