#include "security/permissions_win32.h"

#include <aclapi.h>

#include <cstring>
#include <initializer_list>

namespace {

struct LibraryFreer {
    void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
using Library = UniqueHandle<HMODULE, LibraryFreer>;
struct LocalFreer {
    void operator()(HLOCAL p) const { ::LocalFree(p); }
};
using Local = UniqueHandle<HLOCAL, LocalFreer>;
struct HandleCloser {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using Handle = UniqueHandle<HANDLE, HandleCloser>;

typedef BOOL(WINAPI *StringToSdFn)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);
typedef DWORD(WINAPI *GetSecurityInfoFn)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID *,
                                         PSID *, PACL *, PACL *, PSECURITY_DESCRIPTOR *);
typedef DWORD(WINAPI *GetNamedSecurityInfoFn)(LPCSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION,
                                              PSID *, PSID *, PACL *, PACL *,
                                              PSECURITY_DESCRIPTOR *);
typedef BOOL(WINAPI *CheckMembershipFn)(HANDLE, PSID, PBOOL);
typedef DWORD(WINAPI *SetSecurityInfoFn)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID,
                                         PACL, PACL);

// advapi32, loaded from the system folder for the length of one question: these
// calls came with Windows 2000 or later, and 95/98/Me have none of them.
class Advapi {
public:
    Advapi() {
        char path[MAX_PATH + 16];
        const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            strcpy(path + n, "\\advapi32.dll");
            m_lib.Reset(::LoadLibraryA(path));
        }
    }
    template <typename Fn> Fn Get(const char *name) const {
        return m_lib ? reinterpret_cast<Fn>(
                           reinterpret_cast<void (*)()>(::GetProcAddress(m_lib.Get(), name)))
                     : nullptr;
    }

private:
    Library m_lib;
};

// The well-known SIDs the decisions name, and the installing user's own.
// A SID of the NT authority in a buffer of its own: nothing to free, and nothing
// NT 4 lacks.
class NtSid {
public:
    NtSid(std::initializer_list<DWORD> subAuthorities) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        ::InitializeSid(m_bytes, &nt, BYTE(subAuthorities.size()));
        DWORD i = 0;
        for (DWORD sub : subAuthorities)
            *::GetSidSubAuthority(m_bytes, i++) = sub;
    }
    PSID Get() const { return const_cast<unsigned char *>(m_bytes); }

private:
    alignas(8) unsigned char m_bytes[SECURITY_MAX_SID_SIZE] = {};
};

// The well-known SIDs the decisions name, and the installing user's own.
class Principals {
public:
    explicit Principals(const Advapi &advapi) {
        // The installing user counts as trusted only while this process is an
        // administrator's: a file it made is then an administrator's file.
        auto member = advapi.Get<CheckMembershipFn>("CheckTokenMembership");
        BOOL admin = FALSE;
        if (!member || !member(nullptr, m_admins.Get(), &admin) || !admin)
            return;
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        Handle owned(token);
        DWORD size = sizeof m_user;
        if (::GetTokenInformation(token, TokenUser, m_user, size, &size))
            m_hasUser = true;
    }
    Principal Of(PSID sid) const {
        if (!sid)
            return Principal::Nobody;
        if (::EqualSid(sid, m_system.Get()))
            return Principal::System;
        if (::EqualSid(sid, m_admins.Get()))
            return Principal::Administrators;
        if (::EqualSid(sid, m_trustedInstaller.Get()))
            return Principal::TrustedInstaller;
        if (m_hasUser && ::EqualSid(sid, reinterpret_cast<const TOKEN_USER *>(m_user)->User.Sid))
            return Principal::Installer;
        return Principal::Other;
    }

private:
    NtSid m_system{SECURITY_LOCAL_SYSTEM_RID};
    NtSid m_admins{SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS};
    NtSid m_trustedInstaller{80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u};
    alignas(8) unsigned char m_user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    bool m_hasUser = false;
};

// An owner and a DACL as the decisions read them; false when an ACE can't be read.
bool ViewSecurity(const Principals &principals, PSID owner, PACL dacl, ObjectSecurity &out) {
    out = ObjectSecurity();
    out.owner = principals.Of(owner);
    out.nullDacl = dacl == nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void *raw = nullptr;
        if (!::GetAce(dacl, i, &raw))
            return false;
        const ACE_HEADER *header = static_cast<const ACE_HEADER *>(raw);
        AceView ace;
        ace.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            const ACCESS_ALLOWED_ACE *a = static_cast<const ACCESS_ALLOWED_ACE *>(raw);
            ace.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
            ace.mask = a->Mask;
            ace.who = principals.Of(const_cast<DWORD *>(&a->SidStart));
        } else {
            // An object or callback ACE: read as a grant to someone unknown of
            // whatever its mask says, so that it can only make the answer stricter.
            ace.mask = reinterpret_cast<const ACCESS_ALLOWED_ACE *>(raw)->Mask;
        }
        out.aces.push_back(ace);
    }
    return true;
}

// The owner and DACL of a file or folder; false when they can't be read.
bool ReadFileSecurity(const Advapi &advapi, const Principals &principals, const std::string &path,
                      ObjectSecurity &out) {
    auto get = advapi.Get<GetNamedSecurityInfoFn>("GetNamedSecurityInfoA");
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!get || get(path.c_str(), SE_FILE_OBJECT,
                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                    &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    Local held(sd);
    return ViewSecurity(principals, owner, dacl, out);
}

struct FolderReader {
    const Advapi &advapi;
    const Principals &principals;
    static bool Read(void *context, const std::string &folder, ObjectSecurity &out) {
        const auto *self = static_cast<const FolderReader *>(context);
        return ReadFileSecurity(self->advapi, self->principals, folder, out);
    }
};

std::string FolderOf(const std::string &path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash ? slash : 1);
}

} // namespace

SddlDescriptor::SddlDescriptor(const char *sddl) {
    memset(&m_sa, 0, sizeof m_sa);
    if (!sddl)
        return;
    Advapi advapi;
    if (auto toSd = advapi.Get<StringToSdFn>("ConvertStringSecurityDescriptorToSecurityDescriptorA"))
        if (!toSd(sddl, 1 /* SDDL_REVISION_1 */, &m_sd, nullptr))
            m_sd = nullptr;
}

SddlDescriptor::~SddlDescriptor() {
    if (m_sd)
        ::LocalFree(m_sd);
}

PACL SddlDescriptor::Dacl() const {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!m_sd || !::GetSecurityDescriptorDacl(m_sd, &present, &dacl, &defaulted) || !present)
        return nullptr;
    return dacl;
}

SECURITY_ATTRIBUTES *SddlDescriptor::Attributes() {
    m_sa.nLength = sizeof m_sa;
    m_sa.lpSecurityDescriptor = m_sd;
    m_sa.bInheritHandle = FALSE;
    return &m_sa;
}

bool KernelObjectOwner(HANDLE object, Principal &owner) {
    Advapi advapi;
    auto get = advapi.Get<GetSecurityInfoFn>("GetSecurityInfo");
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!get || get(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr, nullptr,
                    nullptr, &sd) != ERROR_SUCCESS)
        return false;
    Local held(sd);
    owner = Principals(advapi).Of(sid);
    return true;
}

BOOL UsersMayChangeProgram(const std::string &programPath) {
    Advapi advapi;
    Principals principals(advapi);
    ObjectSecurity program, folder;
    if (!ReadFileSecurity(advapi, principals, FolderOf(programPath), folder))
        return TRUE;
    // A program that isn't there yet is only as safe as the folder it would be made in.
    const bool present = ::GetFileAttributesA(programPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (present && !ReadFileSecurity(advapi, principals, programPath, program))
        return TRUE;
    if ((present && LetsUsersChange(program)) || LetsUsersChange(folder))
        return TRUE;
    return UsersMayReplaceFoldersAbove(programPath);
}

BOOL SecureProgramFolder(const std::string &folder) {
    typedef DWORD(WINAPI * SetNamedFn)(LPSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL,
                                       PACL);
    Advapi advapi;
    auto set = advapi.Get<SetNamedFn>("SetNamedSecurityInfoA");
    SddlDescriptor sd(kProgramFolderSddl);
    std::string path = folder;
    return set && sd.Dacl() &&
                   set(&path[0], SE_FILE_OBJECT,
                       DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                       nullptr, sd.Dacl(), nullptr) == ERROR_SUCCESS
               ? TRUE
               : FALSE;
}

BOOL UsersMayReplaceFoldersAbove(const std::string &programPath) {
    Advapi advapi;
    Principals principals(advapi);
    FolderReader reader{advapi, principals};
    return FoldersAboveLetUsersChange(programPath, FolderReader::Read, &reader) ? TRUE : FALSE;
}

bool FileHandleSecurity(HANDLE file, ObjectSecurity &out) {
    Advapi advapi;
    auto get = advapi.Get<GetSecurityInfoFn>("GetSecurityInfo");
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!get || get(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                    &owner, nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    Local held(sd);
    return ViewSecurity(Principals(advapi), owner, dacl, out);
}

bool SetFileHandleSecurity(HANDLE file, const char *sddl) {
    Advapi advapi;
    auto set = advapi.Get<SetSecurityInfoFn>("SetSecurityInfo");
    SddlDescriptor sd(sddl);
    PACL dacl = sd.Dacl();
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!set || !dacl || !::GetSecurityDescriptorOwner(sd.Get(), &owner, &defaulted) || !owner)
        return false;
    return set(file, SE_FILE_OBJECT,
               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                   PROTECTED_DACL_SECURITY_INFORMATION,
               owner, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

bool RunningAsLocalSystem() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    Handle owned(token);
    alignas(8) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof user;
    if (!::GetTokenInformation(token, TokenUser, user, size, &size))
        return false;
    const NtSid system{SECURITY_LOCAL_SYSTEM_RID};
    return ::EqualSid(reinterpret_cast<const TOKEN_USER *>(user)->User.Sid, system.Get()) != FALSE;
}
