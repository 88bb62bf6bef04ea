// Who may change what we install and create: the security descriptors we give the
// service and the single-instance mutexes, and the test that a program file is safe
// to run as the system (the setup gives the install folder its own DACL). The descriptors are SDDL texts, so that
// they can be read, compared and tested as they are written.
#pragma once

#include <string>
#include <vector>

#include "framework/win32_types.h"

// The service: SYSTEM and the administrators have every right; interactive and
// service logons may query it, interrogate it and start it (starting only enforces
// the schedule, and a log-on start hands over to the service that way), but may not
// stop it, send it a control of ours or change its configuration.
extern const char kServiceSddl[];
// The single-instance mutexes: SYSTEM and the administrators have every right,
// everyone else only READ_CONTROL, enough to learn that it exists and who made it,
// not enough to wait on it and so own it. Owned by the administrators; a start
// whose token may not name them owner uses kInstanceMutexSddlNoOwner.
extern const char kInstanceMutexSddl[];
extern const char kInstanceMutexSddlNoOwner[];
// The service's Safe Mode entries: SYSTEM and the administrators have every right,
// users may read them, as the rest of SafeBoot; nothing is inherited.
extern const char kSafeBootKeySddl[];

// A SID as far as these decisions care.
enum class Principal {
    System,
    Administrators,
    TrustedInstaller,
    Installer, // the administrator who runs this program (the token's own user)
    Nobody,    // no owner at all (an object made without a descriptor)
    Other,     // any other user or group
};

// An owner that can only be the system's: SYSTEM or the administrators, or an
// object without an owner, which a user's process can't make on Windows.
bool IsSystemOwner(Principal owner);

// One ACE of a DACL, reduced to what the decision reads.
struct AceView {
    bool allow = true;        // ACCESS_ALLOWED (denies never widen access)
    bool inheritOnly = false; // INHERIT_ONLY_ACE: it does not apply to this object
    DWORD mask = 0;
    Principal who = Principal::Other;
};

// The owner and the DACL of a file or folder.
struct ObjectSecurity {
    bool nullDacl = false; // no DACL: everyone may do everything
    Principal owner = Principal::Other;
    std::vector<AceView> aces;
};

// True when someone other than the system, the administrators or the installing
// administrator may replace, change or add to the object: they own it, or an ACE
// that applies to it grants them a right to write, append, add or delete children,
// delete it, or change its DACL or owner. Deny ACEs are not weighed: only a grant
// that nothing could take back is ignored, never one that something might.
bool LetsUsersChange(const ObjectSecurity &security);

// True when someone other than the system, the administrators or the installing
// administrator may rename, delete or replace a folder above the program's, or
// the next folder down through it: they own it, or an ACE that applies to it
// grants them a right to delete it or a child of it, to change its DACL or owner,
// or to add a file to it (a file an unquoted path would run). Adding a folder is
// left out: every drive's root lets users do that.
bool LetsUsersReplaceFolder(const ObjectSecurity &security);

// The folders above the one that holds the program, up to the drive's root (or a
// share's): "C:\Tools\Vespra\vesprasv.exe" gives "C:\Tools" and "C:\".
std::vector<std::string> FoldersAbove(const std::string &programPath);

// Reads a folder's owner and DACL; false when they can't be read.
typedef bool (*ReadFolderSecurity)(void *context, const std::string &folder, ObjectSecurity &out);
// Whether any folder above the program's lets users replace the way to it: a folder
// whose security can't be read counts as one that does.
bool FoldersAboveLetUsersChange(const std::string &programPath, ReadFolderSecurity read,
                                void *context);

// Whether a user who is not an administrator may change the program at this path
// or the folder that holds it (and so plant a DLL beside it, or swap the program),
// or rename, delete or replace a folder above it (and so put a folder of their own
// in its place). A program not there yet is judged by its folders alone. TRUE also
// when security that should be there can't be read.
// Windows: permissions_win32.cpp.
BOOL UsersMayChangeProgram(const std::string &programPath);
// The folders above alone: what the setup asks before it copies anything.
BOOL UsersMayReplaceFoldersAbove(const std::string &programPath);

// The log file: SYSTEM and the administrators have every right, users may read it;
// nothing is inherited from the drive's root, which lets users change what they
// make there. Owned by the administrators; a start whose token may not name them
// owner uses kLogFileSddlNoOwner.
extern const char kLogFileSddl[];
// The install folder of a program that runs as the system: SYSTEM and the
// administrators full control, users read and execute, nothing inherited.
extern const char kProgramFolderSddl[];
// Gives a folder kProgramFolderSddl's protected DACL, which its files and folders
// inherit; false when it can't be set.
BOOL SecureProgramFolder(const std::string &folder);
extern const char kLogFileSddlNoOwner[];
