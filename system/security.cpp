#include "system/security.h"

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

namespace {
// The rights that let their holder replace or add to a file or a folder: write or
// append data (add a file, add a folder), delete a child, delete, write the DAC or
// the owner, and the generic write and all.
const DWORD kChangeRights = 0x2u | 0x4u | 0x40u | 0x10000u | 0x40000u | 0x80000u | 0x40000000u |
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

bool LetsUsersChange(const ObjectSecurity &security) {
    if (security.nullDacl || !Trusted(security.owner))
        return true;
    for (const AceView &ace : security.aces)
        if (ace.allow && !ace.inheritOnly && !Trusted(ace.who) && (ace.mask & kChangeRights))
            return true;
    return false;
}
