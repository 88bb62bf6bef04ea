#include "security/permissions.h"

// Service rights: CC query config, LC query status, SW enumerate dependents,
// RP start, WP stop, DT pause, LO interrogate, CR user-defined control, SD delete,
// RC read control, WD write DAC, WO write owner.
const char kServiceSddl[] = "D:(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;SY)"
                            "(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
                            "(A;;CCLCRPLORC;;;IU)(A;;CCLCRPLORC;;;SU)";
// 0x1f0001: MUTEX_ALL_ACCESS.
#define VESPRA_MUTEX_DACL "D:P(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)(A;;RC;;;WD)"
const char kInstanceMutexSddl[] = "O:BA" VESPRA_MUTEX_DACL;
const char kInstanceMutexSddlNoOwner[] = VESPRA_MUTEX_DACL;
const char kSafeBootKeySddl[] = "D:P(A;;KA;;;SY)(A;;KA;;;BA)(A;;KR;;;BU)";
#define VESPRA_LOG_DACL "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)"
const char kLogFileSddl[] = "O:BA" VESPRA_LOG_DACL;
const char kProgramFolderSddl[] = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const char kLogFileSddlNoOwner[] = VESPRA_LOG_DACL;

namespace {
// The rights that let their holder replace or add to a file or a folder: write or
// append data (add a file, add a folder), delete a child, delete, write the DAC or
// the owner, and the generic write and all.
const DWORD kChangeRights = 0x2u | 0x4u | 0x40u | 0x10000u | 0x40000u | 0x80000u | 0x40000000u |
                            0x10000000u;

// The rights that let their holder rename, delete or replace a folder above ours or
// the next one down: add a file, delete a child, delete, write the DAC or the
// owner, and the generic write and all.
const DWORD kReplaceRights = 0x2u | 0x40u | 0x10000u | 0x40000u | 0x80000u | 0x40000000u |
                             0x10000000u;

bool Trusted(Principal who) {
    return who == Principal::System || who == Principal::Administrators ||
           who == Principal::TrustedInstaller || who == Principal::Installer;
}
} // namespace

bool IsSystemOwner(Principal owner) {
    return owner == Principal::System || owner == Principal::Administrators ||
           owner == Principal::Nobody;
}

namespace {
// Whether someone untrusted owns the object or is granted any of the rights.
bool GrantsUsers(const ObjectSecurity &security, DWORD rights) {
    if (security.nullDacl || !Trusted(security.owner))
        return true;
    for (const AceView &ace : security.aces)
        if (ace.allow && !ace.inheritOnly && !Trusted(ace.who) && (ace.mask & rights))
            return true;
    return false;
}
} // namespace

bool LetsUsersChange(const ObjectSecurity &security) {
    return GrantsUsers(security, kChangeRights);
}

bool LetsUsersReplaceFolder(const ObjectSecurity &security) {
    return GrantsUsers(security, kReplaceRights);
}

namespace {
// The length of the root: "X:\" or "\\server\share\"; 0 for a path without one.
size_t RootLength(const std::string &path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        return 3;
    if (path.compare(0, 2, "\\\\") != 0)
        return 0;
    const size_t server = path.find('\\', 2);
    const size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    return share == std::string::npos ? 0 : share + 1;
}
} // namespace

std::vector<std::string> FoldersAbove(const std::string &programPath) {
    std::vector<std::string> folders;
    const size_t root = RootLength(programPath);
    if (root == 0)
        return folders;
    // The program's folder ends at `end`; each folder above at the backslash before.
    size_t end = programPath.find_last_of('\\');
    while (end != std::string::npos && end >= root) {
        end = programPath.find_last_of('\\', end - 1);
        if (end == std::string::npos || end < root - 1)
            break;
        folders.push_back(end == root - 1 ? programPath.substr(0, root) : programPath.substr(0, end));
    }
    return folders;
}

bool FoldersAboveLetUsersChange(const std::string &programPath, ReadFolderSecurity read,
                                void *context) {
    if (RootLength(programPath) == 0)
        return true; // no path we can follow up to its root
    for (const std::string &folder : FoldersAbove(programPath)) {
        ObjectSecurity security;
        if (!read(context, folder, security) || LetsUsersReplaceFolder(security))
            return true;
    }
    return false;
}
