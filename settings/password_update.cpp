// CVespraDlg::ConvertOldPasswords: the setup's step after it copied the programs
// (vespra.exe " /update"), so that no password an older version stored in the
// scrambled form, which every user may read and reverse, outlives the update.
#include "scheduler/scheduler.h"
#include "settings/ini_store.h"
#include "settings/registry_store.h"
#include "system/files.h"
#include "system/log.h"
#include "security/password_crypto.h"
#include "system/profile.h"
#include "system/registry.h"

namespace {
// A non-empty "lock", or a journal of an unfinished write (which holds a "lock" of
// its own).
bool RegistryHoldsOldForm() {
    RegKey key;
    if (key.Open(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS)
        return false;
    char lock[2] = {};
    DWORD type = REG_NONE, size = sizeof lock;
    const LONG rc = key.QueryValue("lock", &type, lock, &size);
    if ((rc == ERROR_SUCCESS && lock[0] != '\0') || rc == ERROR_MORE_DATA)
        return true;
    size = 0;
    return key.QueryValue(kSettingsJournalValue, &type, nullptr, &size) == ERROR_SUCCESS;
}
} // namespace

void CVespraDlg::ConvertOldPasswords() {
    // Without the crypto the scrambled form is the only one there is.
    if (!PasswordCryptoAvailable())
        return;
    if (RegistryHoldsOldForm() && ReadRegistry() && WriteRegistry())
        WriteLog("Update: password in the registry stored as its hash");
    const std::string ini = GetIniPath();
    char password[2] = {};
    if (FileExists(ini) &&
        IniReadString("Vespra", "password", "", password, sizeof password, ini) && ReadIni()) {
        WriteIni(TRUE);
        WriteLog("Update: password in the INI file stored as its hash");
    }
}
