// CVespraDlg::ReadIni and WriteIni: the settings of network clients in an INI file
// beside the shared program.
#include "settings/ini_store.h"

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "settings/password.h"
#include "settings/policy.h"
#include "settings/settings_text.h"
#include "system/files.h"
#include "system/log.h"
#include "system/profile.h"
#include "system/time_zone.h"

namespace {

const char kSection[] = "Vespra";
// The password's hash record in hex (the old "password" key holds the scrambled form).
const char kHashKey[] = "password_hash";
// String keys are read into buffers of this many characters.
constexpr DWORD kIniStringBuffer = 100;

// A string key as the reader sees it. A value that fills the whole buffer may have
// been cut, so it counts as missing and the default applies.
std::string ReadString(const char *key, const char *defaultValue, const std::string &path) {
    char buffer[kIniStringBuffer] = {};
    const DWORD n = IniReadString(kSection, key, defaultValue, buffer, kIniStringBuffer, path);
    if (n >= kIniStringBuffer - 1)
        return defaultValue;
    return std::string(buffer, n);
}

UINT ReadInt(const char *key, int defaultValue, const std::string &path) {
    return IniReadInt(kSection, key, defaultValue, path);
}

// The hash record from its hex; empty when the key is missing or is not whole hex of
// a record's length, which counts as no record.
std::string ReadHashRecord(const std::string &path) {
    char buffer[2 * kPasswordRecordSize + 2] = {};
    const DWORD n = IniReadString(kSection, kHashKey, "", buffer, sizeof buffer, path);
    if (n != 2 * kPasswordRecordSize)
        return std::string();
    std::string record;
    for (DWORD i = 0; i < n; i += 2) {
        unsigned value = 0;
        for (DWORD j = i; j < i + 2; ++j) {
            const char c = buffer[j];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0)
                return std::string();
            value = value * 16 + unsigned(digit);
        }
        record += char(value);
    }
    return record;
}

bool NeedsQuotes(unsigned char first, unsigned char last) {
    // Blanks and control characters at either end are dropped by profile readers
    // (Wine also drops ^Z); a leading quote that the last byte matches is removed.
    auto trimmed = [](unsigned char c) { return c <= ' ' || c == 0x7F || c == 0xA0; };
    return trimmed(first) || trimmed(last) || first == '"' || first == '\'';
}

} // namespace

std::string GetIniPath() {
    std::string path = GetProgramPath();
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos)
        path = path.substr(0, dot) + ".ini";
    return ToLower(path);
}

std::string IniTempPath(const std::string &iniPath) {
    return iniPath + ".tmp";
}

std::string IniPasswordValue(const std::string &stored) {
    if (stored.empty() || stored.size() > kMaxStoredPassword ||
        stored.find_first_of(std::string("\0\r\n", 3)) != std::string::npos)
        return std::string();
    if (NeedsQuotes(static_cast<unsigned char>(stored.front()),
                    static_cast<unsigned char>(stored.back())))
        return "\"" + stored + "\"";
    return stored;
}

BOOL CVespraDlg::ReadIni() {
    const std::string path = GetIniPath();
    if (ReadInt("shutdown", 999, path) == 999)
        return FALSE;

    // A valid hash record wins; without one, the old key as older versions wrote it.
    const std::string record = ReadHashRecord(path);
    const std::string stored = ReadString("password", "", path);
    if (IsValidPasswordRecord(record) || !stored.empty())
        m_sPassword = PasswordLock::FromStored(record, UnscramblePassword(stored));

    m_bShutdown = BOOL(ReadInt("shutdown", 1, path));
    m_bRestart = BOOL(ReadInt("restart", 0, path));
    m_bKillDosApps = BOOL(ReadInt("killdosapps", 1, path));

    ParseIniDays(ReadString("days", "1,1,1,1,1,0,0", path).c_str(), m_bDay);
    ParseIniTimes(ReadString("time", "23:00,23:00,23:00,23:00,23:00,23:00,23:00", path).c_str(),
                  m_nHour, m_nMinute);

    m_nWelcomeTime = ReadInt("show_startup", 10, path);
    m_bWelcome = m_nWelcomeTime != 0;
    m_bShowWarning = BOOL(ReadInt("show_warning", 1, path));
    m_nWarningMinutes = ReadInt("warning_minutes", 5, path);
    m_nLimitHours = ReadInt("limit_use", 8, path);
    m_bLimit = m_nLimitHours != 0;
    m_bDisableCpl = BOOL(ReadInt("disable_datetime", 0, path));
    m_bDisableRegPgms = BOOL(ReadInt("disable_regpgms", 0, path));
    m_sTimeZone = ReadString("time_zone", "", path);
    if (!IsZoneName(m_sTimeZone))
        m_sTimeZone.clear();
    return TRUE;
}

BOOL CVespraDlg::WriteIni(BOOL bQuiet) {
    const std::string path = GetIniPath();
    // What the organisation manages is not this store's to change: it keeps its own.
    const StoredValuesInPlace own(*this, m_nManaged, m_ownSettings);

    // The hash where the system has the crypto; the scrambled form where it has not.
    std::string hash;
    for (unsigned char c : m_sPassword.Record())
        hash += StrFormat("%02x", unsigned(c));
    std::string password;
    if (hash.empty() && m_sPassword.IsSet()) {
        password = IniPasswordValue(m_sPassword.OldForm());
        if (password.empty()) {
            // Only a password taken from a hand-edited registry value gets here (the
            // password dialogs refuse such passwords). Writing the file without it
            // would leave the network clients unprotected, so the old file stays.
            ShowMessage(IDS_INI_PASSWORD_NOT_STORED, MB_ICONEXCLAMATION);
            return FALSE;
        }
    }

    std::string text = std::string("[") + kSection + "]\r\n";
    auto line = [&text](const char *key, const std::string &value) {
        text += std::string(key) + "=" + value + "\r\n";
    };
    auto number = [&line](const char *key, UINT value) { line(key, StrFormat("%u", value)); };
    if (!password.empty())
        line("password", password);
    if (!hash.empty())
        line(kHashKey, hash);
    number("shutdown", UINT(m_bShutdown));
    number("restart", UINT(m_bRestart));
    number("killdosapps", UINT(m_bKillDosApps));
    line("days", FormatIniDays(m_bDay));
    line("time", FormatIniTimes(m_nHour, m_nMinute));
    number("show_startup", m_bWelcome ? m_nWelcomeTime : 0);
    number("show_warning", UINT(m_bShowWarning));
    number("warning_minutes", m_nWarningMinutes);
    number("limit_use", m_bLimit ? m_nLimitHours : 0);
    number("disable_datetime", UINT(m_bDisableCpl));
    number("disable_regpgms", UINT(m_bDisableRegPgms));
    if (!m_sTimeZone.empty())
        line("time_zone", m_sTimeZone);

    // The new file is made whole beside the old one and then takes its place in one
    // step, so a crash, a power cut or a full disk on the way leaves every network
    // client the old settings. The system's cache of the old file goes first, or it
    // could be written back over the new one.
    const std::string temp = IniTempPath(path);
    bool written = WriteWholeFile(temp, text) != FALSE;
    if (written) {
        IniFlush(path);
        written = ReplaceFilePath(temp, path) != FALSE;
    }
    if (!written) {
        DeleteFilePath(temp);
        std::string failed;
        AfxFormatString1(failed, IDS_INI_WRITE_FAILED, path);
        ShowMessage(failed, MB_ICONEXCLAMATION);
        return FALSE;
    }

    WriteLog("Settings written to INI file");
    if (bQuiet)
        return TRUE;

    std::string saved;
    AfxFormatString1(saved, IDS_NETWORK_SAVED, path);
    m_bNetworkHelp = TRUE;
    ShowMessage(saved, MB_ICONINFORMATION | MB_HELP);
    return TRUE;
}
