// The Win32 side of security/permissions.h shared by the other Win32 files: security
// descriptors made from SDDL and the owner of a kernel object. Every call that NT 4
// or Windows 95 lacks is looked up at run time.
#pragma once

#include <windows.h>

#include "framework/unique_handle.h"
#include "security/permissions.h"

// A self-relative security descriptor made from SDDL, freed with LocalFree. Empty
// (Get() null) for no text, when the text is refused or when the system can't
// convert SDDL. Callers then make nothing, or fall back to the system's default
// security, never to an object open to everyone.
class SddlDescriptor {
public:
    explicit SddlDescriptor(const char *sddl);
    ~SddlDescriptor();
    SddlDescriptor(const SddlDescriptor &) = delete;
    SddlDescriptor &operator=(const SddlDescriptor &) = delete;

    PSECURITY_DESCRIPTOR Get() const { return m_sd; }
    // The DACL; null when there is none (never a null DACL handed on).
    PACL Dacl() const;
    // Attributes for a Create* call, not inheritable.
    SECURITY_ATTRIBUTES *Attributes();

private:
    PSECURITY_DESCRIPTOR m_sd = nullptr;
    SECURITY_ATTRIBUTES m_sa;
};

// The owner of a kernel object, read with GetSecurityInfo through a handle opened
// with READ_CONTROL. Principal::Nobody when it has none; false when it can't be read.
bool KernelObjectOwner(HANDLE object, Principal &owner);

// The owner and DACL of an open file (GetSecurityInfo, the handle opened with
// READ_CONTROL); false when they can't be read.
bool FileHandleSecurity(HANDLE file, ObjectSecurity &out);
// Gives an open file (WRITE_DAC and WRITE_OWNER) the owner and the protected DACL
// of sddl (SetSecurityInfo); false when either can't be set.
bool SetFileHandleSecurity(HANDLE file, const char *sddl);
// Whether this process's token is LocalSystem's.
bool RunningAsLocalSystem();
