// CVespraDlg::ReadRegistry and WriteRegistry: the settings record under
// HKEY_LOCAL_MACHINE\SOFTWARE\Vespra, and the entries that start the scheduler.
#include "settings/registry_store.h"

#include <cstring>
#include <string>

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/vespra_dlg.h"
#include "settings/password.h"
#include "settings/settings_text.h"
#include "system/files.h"
#include "system/log.h"
#include "system/platform.h"
#include "system/registry.h"

const char *const kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char *const kRunServicesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char *const kStartValueName = "Vespra";

namespace {

// A string value as read into a kRegStringBuffer-byte buffer. A value that does not
// fit (ERROR_MORE_DATA), like a missing one, reads as not found: the call copies
// nothing then, so there is nothing trustworthy to take.
struct RegText {
    bool found = false;
    std::string bytes; // the value's bytes without its terminating NUL
    // The text up to the first NUL, for the parsers.
    const char *c_str() const { return bytes.c_str(); }
};

RegText ReadText(const RegKey &key, const char *name) {
    RegText t;
    char buffer[kRegStringBuffer] = {};
    DWORD size = sizeof buffer;
    DWORD type = REG_NONE;
    if (key.QueryValue(name, &type, buffer, &size) != ERROR_SUCCESS || size > sizeof buffer)
        return t;
    t.bytes.assign(buffer, size);
    // One terminating NUL belongs to the value's form, not to its content; bytes
    // before it are kept, so a stored form holding a NUL is read whole.
    if (!t.bytes.empty() && t.bytes.back() == '\0')
        t.bytes.pop_back();
    // Content and its NUL must fit: 100 bytes without one are as over-long as more.
    if (t.bytes.size() >= kRegStringBuffer) {
        t.bytes.clear();
        return t;
    }
    t.found = true;
    return t;
}

// A 32-bit value, read whatever its type. A value that is missing or not exactly
// four bytes long leaves the field as it was.
template <typename T> void ReadNumber(const RegKey &key, const char *name, T &field) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = REG_NONE;
    if (key.QueryValue(name, &type, &value, &size) == ERROR_SUCCESS && size == sizeof value)
        field = T(value);
}

// Writes the bytes whole, with one terminating NUL: a stored password form may hold
// a NUL byte of its own, and a C-string write would cut it there.
LONG WriteBytes(RegKey &key, const char *name, const std::string &bytes) {
    std::string data = bytes;
    data.push_back('\0');
    return key.SetValue(name, REG_SZ, data.data(), DWORD(data.size()));
}

// Sets or deletes one start entry. False (message 29 shown by the caller) when the
// key cannot be opened.
bool WriteStartEntry(const char *keyPath, bool present, const std::string &command) {
    RegKey key;
    if (key.Create(keyPath, RegAccess::Write) != ERROR_SUCCESS)
        return false;
    if (present)
        key.SetString(kStartValueName, command);
    else
        key.DeleteValue(kStartValueName); // a missing value is fine
    return true;
}

} // namespace

BOOL CVespraDlg::ReadRegistry() {
    if (!m_bUseRegistry)
        return TRUE;

    RegKey key;
    if (key.Create(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS) {
        ShowMessage(IDS_REG_READ_FAILED, MB_ICONEXCLAMATION);
        return FALSE;
    }

    const RegText version = ReadText(key, "version");
    if (!version.found || strcmp(version.c_str(), LoadStr(IDS_SETTINGS_VERSION).c_str()) != 0)
        return FALSE;

    m_sPassword = UnscramblePassword(ReadText(key, "lock").bytes);

    ParseRegistryTimes(ReadText(key, "times").c_str(), m_nHour, m_nMinute);
    for (int d = 0; d < kDays; ++d) {
        if (IsTimeOutOfRange(m_nHour[d], m_nMinute[d])) {
            m_nHour[d] = 23;
            m_nMinute[d] = 0;
            ShowMessage(IDS_TIME_OUT_OF_RANGE, MB_ICONEXCLAMATION);
        }
    }

    ParseRegistryDays(ReadText(key, "days").c_str(), m_bDay);

    ReadNumber(key, "status", m_bShutdown);
    ReadNumber(key, "restart", m_bRestart);
    ReadNumber(key, "amwarn", m_bAmWarn);
    ReadNumber(key, "killdosapps", m_bKillDosApps);
    ReadNumber(key, "welcome", m_bWelcome);
    ReadNumber(key, "welcometime", m_nWelcomeTime);
    ReadNumber(key, "limit", m_bLimit);
    ReadNumber(key, "limithours", m_nLimitHours);
    ReadNumber(key, "showwarning", m_bShowWarning);
    ReadNumber(key, "warningminutes", m_nWarningMinutes);
    ReadNumber(key, "disablecpl", m_bDisableCpl);
    ReadNumber(key, "disableregpgms", m_bDisableRegPgms);
    return TRUE;
}

BOOL CVespraDlg::WriteRegistry() {
    if (!m_bUseRegistry)
        return TRUE;

    {
        RegKey key;
        if (key.Create(kSettingsKey, RegAccess::Write) != ERROR_SUCCESS) {
            ShowMessage(IDS_REG_WRITE_FAILED, MB_ICONEXCLAMATION);
            return FALSE;
        }
        if (key.SetString("version", LoadStr(IDS_SETTINGS_VERSION)) != ERROR_SUCCESS) {
            key.Close();
            ShowMessage(IDS_REG_SETVALUE_FAILED, MB_ICONEXCLAMATION);
            return FALSE;
        }
        key.SetDword("status", DWORD(m_bShutdown));
        key.SetDword("restart", DWORD(m_bRestart));
        key.SetString("days", FormatRegistryDays(m_bDay));
        key.SetString("times", FormatRegistryTimes(m_nHour, m_nMinute));
        key.SetDword("welcome", DWORD(m_bWelcome));
        key.SetDword("welcometime", DWORD(m_nWelcomeTime));
        key.SetDword("showwarning", DWORD(m_bShowWarning));
        key.SetDword("warningminutes", DWORD(m_nWarningMinutes));
        key.SetDword("limit", DWORD(m_bLimit));
        key.SetDword("limithours", DWORD(m_nLimitHours));
        WriteBytes(key, "lock", ScramblePassword(m_sPassword));
        key.SetDword("disablecpl", DWORD(m_bDisableCpl));
        key.SetDword("disableregpgms", DWORD(m_bDisableRegPgms));
        key.SetDword("killdosapps", DWORD(m_bKillDosApps));
        key.SetDword("amwarn", DWORD(m_bAmWarn));
    }

    // The path is quoted: unquoted, a path with blanks (say under Program Files)
    // would let a program placed at an earlier blank of it run in our stead.
    const bool actionOn = m_bShutdown || m_bRestart;
    const std::string quotedPath = "\"" + GetProgramPath() + "\"";
    if (!WriteStartEntry(kRunKey, actionOn, quotedPath + " /logon")) {
        ShowMessage(IDS_REG_WRITE_FAILED, MB_ICONEXCLAMATION);
        return FALSE;
    }
    if (!IsWindowsNT() && !WriteStartEntry(kRunServicesKey, actionOn, quotedPath)) {
        ShowMessage(IDS_REG_WRITE_FAILED, MB_ICONEXCLAMATION);
        return FALSE;
    }

    WriteLog("Settings written to registry");
    return TRUE;
}
