// The registry settings store's fixed names. ReadRegistry and WriteRegistry are
// operations of CVespraDlg (scheduler/scheduler.h).
#pragma once

#include <map>
#include <string>

#include "framework/win32_types.h"

// Start entries under HKEY_LOCAL_MACHINE, each a REG_SZ value kStartValueName.
extern const char *const kRunKey;         // at every log-on, all platforms
extern const char *const kRunServicesKey; // at system start, Windows 95/98/Me only
extern const char *const kStartValueName; // "Vespra"

// String values are read into buffers of this many bytes, terminating NUL included.
constexpr unsigned kRegStringBuffer = 100;

// The settings values, in the order of the stored layout, then "lock_hash": the
// password's hash record (REG_BINARY), kept with the others so that the journal
// below covers it too.
constexpr int kSettingsValueCount = 18;
extern const char *const kSettingsValueNames[kSettingsValueCount];

// One settings value as the readers take it: its type and its bytes, as read into a
// kRegStringBuffer-byte buffer. A value that is missing or longer is not held.
struct StoredValue {
    DWORD type = REG_NONE;
    std::string bytes;
    bool operator==(const StoredValue &o) const { return type == o.type && bytes == o.bytes; }
};
using StoredSettings = std::map<std::string, StoredValue>; // by value name

// The REG_BINARY value "prev_settings" under the settings key: the last complete
// settings, kept while WriteRegistry replaces them value by value. When it is there,
// ReadRegistry takes the settings from it, never the mix that an interrupted write
// leaves in the values themselves. A damaged one is ignored: the values stand.
extern const char *const kSettingsJournalValue;
std::string EncodeSettingsJournal(const StoredSettings &values);
// False for anything EncodeSettingsJournal does not make; values is then empty.
bool DecodeSettingsJournal(const std::string &bytes, StoredSettings &values);
