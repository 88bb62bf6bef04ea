// CVespraDlg::ReadRegistry and WriteRegistry: the settings record under
// HKEY_LOCAL_MACHINE\SOFTWARE\Vespra, and the entries that start the scheduler.
#include "settings/registry_store.h"

#include <cstring>
#include <string>

#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "settings/password.h"
#include "settings/policy.h"
#include "settings/settings_text.h"
#include "system/files.h"
#include "system/log.h"
#include "system/platform.h"
#include "system/registry.h"
#include "system/time_zone.h"

const char *const kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char *const kRunServicesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char *const kStartValueName = "Vespra";
const char *const kSettingsJournalValue = "prev_settings";

const char *const kSettingsValueNames[kSettingsValueCount] = {
    "version",     "status",         "restart",        "days",   "times",      "welcome",
    "welcometime", "showwarning",    "warningminutes", "limit",  "limithours", "lock",
    "disablecpl",  "disableregpgms", "killdosapps",    "amwarn", "lock_hash",  "timezone"};

namespace {

const char kJournalMagic[] = "VSJ1";
constexpr size_t kJournalMagicSize = 4;
// Room for every value at its longest, with its name, type and size.
constexpr DWORD kJournalBuffer = 4096;

bool IsSettingsValueName(const std::string &name) {
    for (const char *n : kSettingsValueNames)
        if (name == n)
            return true;
    return false;
}

// The settings values of the key, each read as the readers read it.
StoredSettings ReadStoredSettings(const RegKey &key) {
    StoredSettings values;
    for (const char *name : kSettingsValueNames) {
        char buffer[kRegStringBuffer];
        DWORD size = sizeof buffer;
        DWORD type = REG_NONE;
        // A value too long for the buffer (ERROR_MORE_DATA) reads as missing, as in
        // ReadText and ReadNumber below.
        if (key.QueryValue(name, &type, buffer, &size) == ERROR_SUCCESS && size <= sizeof buffer)
            values[name] = StoredValue{type, std::string(buffer, size)};
    }
    return values;
}

// The journal left by a write that has not finished, decoded into values. False
// when there is none, and when it is damaged or not ours: it is then ignored, with a
// log line, and the values are taken as they stand. Taking it as "no settings" would
// make the start-up write the defaults over every value, the password included.
bool ReadJournal(const RegKey &key, StoredSettings &values) {
    values.clear();
    std::string buffer(kJournalBuffer, '\0');
    DWORD size = kJournalBuffer;
    DWORD type = REG_NONE;
    const LONG rc = key.QueryValue(kSettingsJournalValue, &type, &buffer[0], &size);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
        return false;
    if (rc == ERROR_SUCCESS && type == REG_BINARY && size <= kJournalBuffer &&
        DecodeSettingsJournal(buffer.substr(0, size), values))
        return true;
    values.clear();
    WriteLog("Damaged settings journal ignored");
    return false;
}

// Puts the values back as they were: the ones held are written, the others deleted.
bool RestoreStoredSettings(RegKey &key, const StoredSettings &values) {
    bool ok = true;
    for (const char *name : kSettingsValueNames) {
        auto v = values.find(name);
        if (v != values.end()) {
            ok = key.SetValue(name, v->second.type, v->second.bytes.data(),
                              DWORD(v->second.bytes.size())) == ERROR_SUCCESS &&
                 ok;
        } else {
            const LONG rc = key.DeleteValue(name);
            ok = (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) && ok;
        }
    }
    return ok;
}

// A string value as read into a kRegStringBuffer-byte buffer. A value that does not
// fit (ERROR_MORE_DATA), like a missing one, reads as not found: the call copies
// nothing then, so there is nothing trustworthy to take.
struct RegText {
    bool found = false;
    std::string bytes; // the value's bytes without its terminating NUL
    // The text up to the first NUL, for the parsers.
    const char *c_str() const { return bytes.c_str(); }
};

RegText ReadText(const StoredSettings &values, const char *name) {
    RegText t;
    auto v = values.find(name);
    if (v == values.end())
        return t;
    t.bytes = v->second.bytes;
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
template <typename T> void ReadNumber(const StoredSettings &values, const char *name, T &field) {
    auto v = values.find(name);
    if (v == values.end() || v->second.bytes.size() != sizeof(DWORD))
        return;
    DWORD value = 0;
    memcpy(&value, v->second.bytes.data(), sizeof value);
    field = T(value);
}

// Sets or deletes one start entry. Shows message 29 when the key cannot be opened
// and 91 when the entry cannot be set or deleted; false then.
bool WriteStartEntry(CVespraDlg &dlg, const char *keyPath, bool present,
                     const std::string &command) {
    RegKey key;
    if (key.Create(keyPath, RegAccess::Write) != ERROR_SUCCESS) {
        dlg.ShowMessage(IDS_REG_WRITE_FAILED, MB_ICONEXCLAMATION);
        return false;
    }
    const LONG rc =
        present ? key.SetString(kStartValueName, command) : key.DeleteValue(kStartValueName);
    if (rc == ERROR_SUCCESS || (!present && rc == ERROR_FILE_NOT_FOUND))
        return true; // a missing value is as good as a deleted one
    key.Close();
    dlg.ShowMessage(IDS_REG_SETVALUE_FAILED, MB_ICONEXCLAMATION);
    return false;
}

} // namespace

// Layout: "VSJ1", one byte with the number of values, then per value one byte of
// name length, the name, the type as four bytes (least significant first), one
// byte of data length and the data.
std::string EncodeSettingsJournal(const StoredSettings &values) {
    std::string entries;
    int count = 0;
    for (const auto &v : values) {
        if (!IsSettingsValueName(v.first) || v.second.bytes.size() > kRegStringBuffer)
            continue; // never held: the readers would not take it either
        entries += char(v.first.size());
        entries += v.first;
        for (int shift = 0; shift < 32; shift += 8)
            entries += char((v.second.type >> shift) & 0xFF);
        entries += char(v.second.bytes.size());
        entries += v.second.bytes;
        ++count;
    }
    return std::string(kJournalMagic, kJournalMagicSize) + char(count) + entries;
}

bool DecodeSettingsJournal(const std::string &bytes, StoredSettings &values) {
    values.clear();
    if (bytes.size() <= kJournalMagicSize ||
        bytes.compare(0, kJournalMagicSize, kJournalMagic, kJournalMagicSize) != 0)
        return false;
    auto byte = [&bytes](size_t at) { return static_cast<unsigned char>(bytes[at]); };
    // The count tells a whole journal from one cut at the end of a value.
    const size_t count = byte(kJournalMagicSize);
    size_t pos = kJournalMagicSize + 1;
    while (pos < bytes.size()) {
        const size_t nameLength = byte(pos++);
        // The name, four bytes of type and one of length must follow.
        if (nameLength == 0 || bytes.size() - pos < nameLength + 5) {
            values.clear();
            return false;
        }
        const std::string name = bytes.substr(pos, nameLength);
        pos += nameLength;
        DWORD type = 0;
        for (int i = 0; i < 4; ++i)
            type |= DWORD(byte(pos++)) << (8 * i);
        const size_t dataLength = byte(pos++);
        if (dataLength > kRegStringBuffer || bytes.size() - pos < dataLength ||
            !IsSettingsValueName(name) || values.count(name)) {
            values.clear();
            return false;
        }
        values[name] = StoredValue{type, bytes.substr(pos, dataLength)};
        pos += dataLength;
    }
    if (values.size() != count) {
        values.clear();
        return false;
    }
    return true;
}

BOOL CVespraDlg::ReadRegistry() {
    if (!m_bUseRegistry)
        return TRUE;

    StoredSettings values;
    {
        RegKey key;
        if (key.Create(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS) {
            ShowMessage(IDS_REG_READ_FAILED, MB_ICONEXCLAMATION);
            return FALSE;
        }
        // A write that did not finish left its journal: the values themselves may be
        // part old, part new, so the settings come from the journal.
        if (!ReadJournal(key, values))
            values = ReadStoredSettings(key);
    }

    const RegText version = ReadText(values, "version");
    if (!version.found || strcmp(version.c_str(), LoadStr(IDS_SETTINGS_VERSION).c_str()) != 0)
        return FALSE;

    // A valid hash record wins; without one, "lock" as an older version wrote it: a C
    // string, as a string value is, so bytes after its first NUL are not part of it.
    const auto hash = values.find("lock_hash");
    m_sPassword = PasswordLock::FromStored(
        hash != values.end() && hash->second.type == REG_BINARY ? hash->second.bytes : "",
        UnscramblePassword(ReadText(values, "lock").c_str()));

    ParseRegistryTimes(ReadText(values, "times").c_str(), m_nHour, m_nMinute);
    for (int d = 0; d < kDays; ++d) {
        if (IsTimeOutOfRange(m_nHour[d], m_nMinute[d])) {
            m_nHour[d] = 23;
            m_nMinute[d] = 0;
            ShowMessage(IDS_TIME_OUT_OF_RANGE, MB_ICONEXCLAMATION);
        }
    }

    ParseRegistryDays(ReadText(values, "days").c_str(), m_bDay);

    ReadNumber(values, "status", m_bShutdown);
    ReadNumber(values, "restart", m_bRestart);
    ReadNumber(values, "amwarn", m_bAmWarn);
    ReadNumber(values, "killdosapps", m_bKillDosApps);
    ReadNumber(values, "welcome", m_bWelcome);
    ReadNumber(values, "welcometime", m_nWelcomeTime);
    ReadNumber(values, "limit", m_bLimit);
    ReadNumber(values, "limithours", m_nLimitHours);
    ReadNumber(values, "showwarning", m_bShowWarning);
    ReadNumber(values, "warningminutes", m_nWarningMinutes);
    ReadNumber(values, "disablecpl", m_bDisableCpl);
    ReadNumber(values, "disableregpgms", m_bDisableRegPgms);
    const RegText zone = ReadText(values, "timezone");
    m_sTimeZone = zone.found && IsZoneName(zone.c_str()) ? zone.c_str() : "";
    return TRUE;
}

BOOL CVespraDlg::WriteRegistry() {
    if (!m_bUseRegistry)
        return TRUE;

    {
        // What the organisation manages is not this store's to change: it keeps its own.
        const StoredValuesInPlace own(*this, m_nManaged, m_ownSettings);
        RegKey key, reader;
        if (key.Create(kSettingsKey, RegAccess::Write) != ERROR_SUCCESS ||
            reader.Create(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS) {
            ShowMessage(IDS_REG_WRITE_FAILED, MB_ICONEXCLAMATION);
            return FALSE;
        }
        // The values are written one by one, and a crash or a failing write between
        // two of them would leave a schedule nobody set. So the last complete
        // settings go into one value first, in one write, and stay there until the
        // new ones are whole. A journal already there is from a write that did not
        // finish: it, not the values, holds the last complete settings.
        StoredSettings previous;
        if (!ReadJournal(reader, previous)) {
            previous = ReadStoredSettings(reader);
            const std::string journal = EncodeSettingsJournal(previous);
            if (key.SetValue(kSettingsJournalValue, REG_BINARY, journal.data(),
                             DWORD(journal.size())) != ERROR_SUCCESS) {
                key.Close();
                ShowMessage(IDS_REG_SETVALUE_FAILED, MB_ICONEXCLAMATION);
                return FALSE;
            }
        }
        reader.Close();

        bool ok = true;
        auto text = [&](const char *name, const std::string &value) {
            ok = ok && key.SetString(name, value) == ERROR_SUCCESS;
        };
        auto number = [&](const char *name, DWORD value) {
            ok = ok && key.SetDword(name, value) == ERROR_SUCCESS;
        };
        text("version", LoadStr(IDS_SETTINGS_VERSION));
        // The service host reads these two, not the journal, to decide whether to
        // start the scheduler: the one being set goes first, so that between the two
        // writes the pair reads as Off only when the new action is Off.
        if (m_bRestart) {
            number("restart", DWORD(m_bRestart));
            number("status", DWORD(m_bShutdown));
        } else {
            number("status", DWORD(m_bShutdown));
            number("restart", DWORD(m_bRestart));
        }
        text("days", FormatRegistryDays(m_bDay));
        text("times", FormatRegistryTimes(m_nHour, m_nMinute));
        number("welcome", DWORD(m_bWelcome));
        number("welcometime", DWORD(m_nWelcomeTime));
        number("showwarning", DWORD(m_bShowWarning));
        number("warningminutes", DWORD(m_nWarningMinutes));
        number("limit", DWORD(m_bLimit));
        number("limithours", DWORD(m_nLimitHours));
        // Where the hash is written, "lock" is left empty; where the system has no
        // crypto, "lock" holds the scrambled form and no hash may contradict it.
        const std::string &record = m_sPassword.Record();
        text("lock", m_sPassword.OldForm());
        if (ok && !record.empty()) {
            ok = key.SetValue("lock_hash", REG_BINARY, record.data(), DWORD(record.size())) ==
                 ERROR_SUCCESS;
        } else if (ok) {
            const LONG rc = key.DeleteValue("lock_hash");
            ok = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
        }
        number("disablecpl", DWORD(m_bDisableCpl));
        number("disableregpgms", DWORD(m_bDisableRegPgms));
        // Empty where the machine gave no zone's name: the machine's zone then.
        text("timezone", m_sTimeZone);
        number("killdosapps", DWORD(m_bKillDosApps));
        number("amwarn", DWORD(m_bAmWarn));
        // Gone already is gone: another instance writing at the same time may have
        // taken it (the last writer wins, as ever).
        if (ok) {
            const LONG rc = key.DeleteValue(kSettingsJournalValue);
            ok = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
        }

        if (!ok) {
            // The previous settings go back. The journal goes only when all of them
            // are back; until then ReadRegistry keeps taking them from it.
            if (RestoreStoredSettings(key, previous))
                key.DeleteValue(kSettingsJournalValue);
            key.Close();
            ShowMessage(IDS_REG_SETVALUE_FAILED, MB_ICONEXCLAMATION);
            return FALSE;
        }
    }

    // The path is quoted: unquoted, a path with blanks (say under Program Files)
    // would let a program placed at an earlier blank of it run in our stead.
    const bool actionOn = m_bShutdown || m_bRestart;
    const std::string quotedPath = "\"" + GetProgramPath() + "\"";
    if (!WriteStartEntry(*this, kRunKey, actionOn, quotedPath + " /logon") ||
        (!IsWindowsNT() && !WriteStartEntry(*this, kRunServicesKey, actionOn, quotedPath)))
        return FALSE;

    WriteLog("Settings written to registry");
    return TRUE;
}
