// The in-memory registry behind RegKey in the native build: keys under
// HKEY_LOCAL_MACHINE by path, values with their type and bytes, names compared
// without regard to case, and failures a test can switch on.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/win32_types.h"

namespace fake {

struct RegValue {
    DWORD type = REG_NONE;
    std::vector<unsigned char> data;
};

struct RegistryKeyData {
    std::map<std::string, RegValue> values; // by lower-cased name
    std::vector<std::string> writeOrder;    // value names as they were set, in order
    std::string sddl;                       // the descriptor it was made with, if any
};

struct Registry {
    std::map<std::string, RegistryKeyData> keys; // by lower-cased path
    std::set<std::string> failOpenRead;          // lower-cased paths
    std::set<std::string> failOpenWrite;
    // Lower-cased value names, alone or as "<path>\\<name>": their writes and
    // deletions fail.
    std::set<std::string> failSet;
    // -1: every value write and delete takes effect. n: only the next n do; the ones
    // after them report success and change nothing, as if the process had died.
    int changesBeforeCrash = -1;
    // A count of changes, and per key (lower-cased path) the count at its last
    // change; a deleted key keeps its entry.
    unsigned long changes = 0;
    std::map<std::string, unsigned long> changedAt;
    int opens = 0;
    int closes = 0;
};

Registry &Reg();
void ResetRegistry();

// Helpers for tests.
bool HasValue(const std::string &path, const std::string &name);
void PutString(const std::string &path, const std::string &name, const std::string &text);
void PutDword(const std::string &path, const std::string &name, DWORD value);
void PutRaw(const std::string &path, const std::string &name, DWORD type,
            const std::vector<unsigned char> &data);
std::string GetString(const std::string &path, const std::string &name);
DWORD GetDword(const std::string &path, const std::string &name);
DWORD GetType(const std::string &path, const std::string &name);

} // namespace fake
