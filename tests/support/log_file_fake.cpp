// The stand-in behind system/log_file.h: the log as a real file, opened as Windows
// opens it with FILE_FLAG_OPEN_REPARSE_POINT (a link is not followed, and refused;
// so is a folder or a file with a second name), with its owner and DACL kept in
// fake::Plat().
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "system/log_file.h"
#include "tests/support/fake_platform.h"

namespace {
// What kLogFileSddl gives (users read), or what C:\ passes on (users modify).
ObjectSecurity LogSecurity(Principal owner, DWORD users) {
    return {false, owner, {{true, false, 0x1F01FF, Principal::System},
                           {true, false, 0x1F01FF, Principal::Administrators},
                           {true, false, users, Principal::Other}}};
}
ObjectSecurity OurLogSecurity() {
    return LogSecurity(Principal::Administrators, 0x120089);
}
} // namespace

ObjectSecurity fake::Platform::InheritedFromTheRoot() {
    return LogSecurity(Principal::Other, 0x1301BF);
}

LogFile::~LogFile() {
    if (m_open)
        close(int(reinterpret_cast<intptr_t>(m_file)));
}

bool LogFile::Open(const std::string &path, bool, DWORD &error) {
    struct stat before;
    const bool existed = lstat(path.c_str(), &before) == 0;
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno == ELOOP ? ERROR_CANT_ACCESS_FILE : ERROR_ACCESS_DENIED;
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        close(fd);
        error = ERROR_CANT_ACCESS_FILE;
        return false;
    }
    if (!existed)
        fake::Plat().logSecurity = OurLogSecurity();
    m_file = reinterpret_cast<void *>(intptr_t(fd));
    m_open = true;
    return true;
}

bool LogFile::ReadSecurity(ObjectSecurity &out) const {
    if (!m_open || fake::Plat().logSecurityReadFails)
        return false;
    out = fake::Plat().logSecurity;
    return true;
}

bool LogFile::Secure() {
    // Only the system may take a file a user owns (SeTakeOwnership, SeRestore).
    if (!m_open || !fake::Plat().runningAsSystem)
        return false;
    fake::Plat().logSecurity = OurLogSecurity();
    return true;
}

bool LogFile::Append(const std::string &text) {
    return m_open && write(int(reinterpret_cast<intptr_t>(m_file)), text.data(), text.size()) ==
                         ssize_t(text.size());
}

bool RunningAsSystem() {
    return fake::Plat().runningAsSystem;
}

void ReportToEventLog(const std::string &text) {
    fake::Plat().eventReports.push_back(text);
}
